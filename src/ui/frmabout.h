#pragma once

#include <QDialog>
#include <QString>

class QLabel;

// The About box: the program's title, what it is for and its version.
// The main window shows it modeless with itself as owner; "閉じる" closes and
// deletes it.
class frmAbout : public QDialog
{
    Q_OBJECT
public:
    static const QString CaptionText;     // "ﾊﾞｰｼﾞｮﾝ情報"
    static const QString DescriptionText; // "TURFNETﾒｰﾙ受信ｿﾌﾄ"
    static const QString CloseText;       // "閉じる"
    static const QString DisclaimerText;
    static const QString LicenseText; // the program's licence


    explicit frmAbout(QWidget *parent = nullptr);

    // "ﾊﾞｰｼﾞｮﾝ 1.04.1": major, "." and the minor number as two digits, then
    // "." and the revision only when the revision is above 0.
    static QString versionText(int major, int minor, int revision);
    // The text for the version this program was built as.
    static QString programVersionText();

private slots:
    void cmdOK_Click();

private:
    void Form_Load();

    QLabel *m_appName = nullptr;
    QLabel *m_version = nullptr;
};
