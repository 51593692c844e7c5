#include "ui/frmabout.h"

#include "platform/messagebox.h"
#include "ui/iconresources.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

// The build passes the project's version (CMake's PROJECT_VERSION) in.
#ifndef KIVREL_VERSION_MAJOR
#define KIVREL_VERSION_MAJOR 0
#endif
#ifndef KIVREL_VERSION_MINOR
#define KIVREL_VERSION_MINOR 0
#endif
#ifndef KIVREL_VERSION_PATCH
#define KIVREL_VERSION_PATCH 0
#endif

const QString frmAbout::CaptionText = QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報");
const QString frmAbout::DescriptionText = QStringLiteral("TURFNETﾒｰﾙ受信ｿﾌﾄ");
const QString frmAbout::CloseText = QStringLiteral("閉じる");
const QString frmAbout::DisclaimerText = QStringLiteral("このｿﾌﾄｳｪｱは無保証です。ご利用はご自身の責任でお願いします。\n"
                                                        "TURFNETのﾃﾞｰﾀの著作権はﾃﾞｰﾀの提供元に帰属します。");
const QString frmAbout::LicenseText = QStringLiteral("Copyright (c) 2026 Kivrel developers\nMIT License");

namespace {
const QString kVersionPrefix = QStringLiteral("ﾊﾞｰｼﾞｮﾝ ");
}

frmAbout::frmAbout(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));

    // The decorative frame holds the picture, the title panel and the texts.
    auto *frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("SSPanel1"));
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Raised);

    auto *picture = new QLabel(frame);
    picture->setObjectName(QStringLiteral("imgIcon"));
    picture->setPixmap(IconResources::icon(QStringLiteral("kivrel.svg")).pixmap(64, 64));
    picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    m_appName = new QLabel(frame);
    m_appName->setObjectName(QStringLiteral("sspAppName"));
    m_appName->setFrameShape(QFrame::Panel);
    m_appName->setFrameShadow(QFrame::Sunken);
    m_appName->setAlignment(Qt::AlignCenter);
    m_appName->setMargin(6);
    QFont titleFont = m_appName->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    m_appName->setFont(titleFont);

    auto *description = new QLabel(DescriptionText, frame);
    description->setObjectName(QStringLiteral("lblDescription"));

    m_version = new QLabel(frame);
    m_version->setObjectName(QStringLiteral("lblVersion"));

    auto *disclaimer = new QLabel(LicenseText + QLatin1Char('\n') + DisclaimerText, frame);
    disclaimer->setObjectName(QStringLiteral("lblDisclaimer"));
    disclaimer->setWordWrap(true);
    QFont small = disclaimer->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    disclaimer->setFont(small);

    auto *texts = new QVBoxLayout;
    texts->addWidget(m_appName);
    texts->addWidget(description);
    texts->addWidget(m_version);
    texts->addSpacing(8);
    texts->addWidget(disclaimer);
    texts->addStretch(1);

    auto *inFrame = new QHBoxLayout(frame);
    inFrame->addWidget(picture);
    inFrame->addLayout(texts, 1);

    auto *ok = new QPushButton(CloseText, this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(frame, 1);
    layout->addLayout(buttons);
    setMinimumWidth(400);

    Form_Load();
}

QString frmAbout::versionText(int major, int minor, int revision)
{
    QString text = kVersionPrefix + QString::number(major) + QLatin1Char('.') +
                   QStringLiteral("%1").arg(minor, 2, 10, QLatin1Char('0'));
    if (revision > 0)
        text += QLatin1Char('.') + QString::number(revision);
    return text;
}

QString frmAbout::programVersionText()
{
    return versionText(KIVREL_VERSION_MAJOR, KIVREL_VERSION_MINOR, KIVREL_VERSION_PATCH);
}

void frmAbout::Form_Load()
{
    setWindowTitle(CaptionText);
    m_appName->setText(MessageBox::defaultTitle());
    m_version->setText(programVersionText());
}

void frmAbout::cmdOK_Click()
{
    // The box is modeless and nothing waits for it; the owner that shows it
    // sets Qt::WA_DeleteOnClose so that closing also frees it.
    close();
}
