#include "ui/frmdir.h"

#include "core/cp932.h"
#include "platform/messagebox.h"
#include "ui/unstorabletext.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QStyle>
#include <QVBoxLayout>

const QString frmDir::DefaultCaption = QStringLiteral("ﾌｫﾙﾀﾞの指定");
const QString frmDir::OkText = QStringLiteral("OK");
const QString frmDir::CancelText = QStringLiteral("キャンセル");

namespace {
frmDir *g_instance = nullptr;
std::optional<QString> g_testAnswer;
std::function<void(frmDir *)> g_testDriver;

const QString kRootLabel = QStringLiteral("/ (ﾙｰﾄ)");
const QString kHomeLabel = QStringLiteral("ﾎｰﾑ (%1)");
constexpr int kPathRole = Qt::UserRole;

// "/a/b/" -> "/a/b", "/" stays; a lone "\" (the old way to say "the root")
// is the root.
QString normalFolder(const QString &path)
{
    if (path == QLatin1String("\\"))
        return QStringLiteral("/");
    QString clean = QDir::cleanPath(path);
    return clean;
}

// Volumes the system mounts for its own use are no places to keep files.
bool isUserVolume(const QStorageInfo &volume)
{
    if (!volume.isValid() || !volume.isReady())
        return false;
    const QString root = volume.rootPath();
    static const QStringList hidden = {QStringLiteral("/proc"), QStringLiteral("/sys"),  QStringLiteral("/dev"),
                                       QStringLiteral("/run"),  QStringLiteral("/boot"), QStringLiteral("/snap")};
    for (const QString &h : hidden) {
        if (root == h || root.startsWith(h + QLatin1Char('/')))
            return false;
    }
    const QByteArray type = volume.fileSystemType();
    return type != "tmpfs" && type != "devtmpfs" && type != "overlay" && type != "squashfs";
}
} // namespace

frmDir::frmDir(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmDir"));
    setWindowTitle(DefaultCaption);
    setModal(true);

    m_drives = new QComboBox(this);
    m_drives->setObjectName(QStringLiteral("Drive1"));

    m_dirs = new QListWidget(this);
    m_dirs->setObjectName(QStringLiteral("Dir1"));
    m_dirs->setSelectionMode(QAbstractItemView::SingleSelection);

    m_path = new QLabel(this);
    m_path->setObjectName(QStringLiteral("lblPath"));
    m_path->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *ok = new QPushButton(OkText, this);
    ok->setObjectName(QStringLiteral("Command2"));
    ok->setDefault(true);
    auto *cancel = new QPushButton(CancelText, this);
    cancel->setObjectName(QStringLiteral("btnCancel"));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_drives);
    layout->addWidget(m_path);
    layout->addWidget(m_dirs, 1);
    layout->addLayout(buttons);
    resize(360, 380);

    connect(ok, &QPushButton::clicked, this, &frmDir::Command2_Click);
    connect(cancel, &QPushButton::clicked, this, &frmDir::btnCancel_Click);
    connect(m_dirs, &QListWidget::itemDoubleClicked, this, &frmDir::Dir1_DoubleClick);

    fillPlaces();
    // Like a fresh folder list, the picker starts in the process's folder.
    if (!setFolder(QDir::currentPath()))
        setFolder(QDir::rootPath());
    connect(m_drives, &QComboBox::activated, this, &frmDir::Drive1_Change);
}

frmDir *frmDir::instance()
{
    return g_instance;
}

void frmDir::destroyInstance()
{
    delete g_instance;
    g_instance = nullptr;
}

void frmDir::setTestAnswer(std::optional<QString> answer)
{
    g_testAnswer = std::move(answer);
}

void frmDir::setTestDriver(std::function<void(frmDir *)> driver)
{
    g_testDriver = std::move(driver);
}

QString frmDir::Execute(const QString &initialFolder, const QString &title)
{
    if (!g_instance) {
        g_instance = new frmDir;
        // The window has no owner; it goes when the program ends.
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, g_instance, &frmDir::destroyInstance);
    }
    frmDir *dlg = g_instance;

    // A folder that is not there simply leaves the list where it was.
    if (!initialFolder.isEmpty())
        dlg->setFolder(initialFolder);
    if (!title.isEmpty())
        dlg->setWindowTitle(title);

    if (g_testAnswer) {
        dlg->m_dirName = *g_testAnswer;
        return dlg->m_dirName;
    }
    if (g_testDriver) {
        dlg->m_dirName.clear();
        g_testDriver(dlg);
        dlg->hide();
        return dlg->m_dirName;
    }
    dlg->m_dirName.clear();
    dlg->exec();
    return dlg->m_dirName;
}

bool frmDir::setFolder(const QString &path)
{
    const QString folder = normalFolder(path);
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.isAbsolute() || !info.isDir())
        return false;
    m_folder = info.absoluteFilePath();
    fillFolders();
    const int place = placeFor(m_folder);
    if (place >= 0)
        m_drives->setCurrentIndex(place);
    return true;
}

void frmDir::fillPlaces()
{
    m_drives->clear();
    m_drives->addItem(kRootLabel, QDir::rootPath());
    const QString home = QDir::homePath();
    if (home != QDir::rootPath())
        m_drives->addItem(kHomeLabel.arg(home), home);
    QStringList seen = {QDir::rootPath(), home};
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        if (seen.contains(root) || !isUserVolume(volume))
            continue;
        seen.append(root);
        const QString name = volume.displayName();
        m_drives->addItem(name == root ? root : QStringLiteral("%1 (%2)").arg(name, root), root);
    }
}

int frmDir::placeFor(const QString &path) const
{
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < m_drives->count(); ++i) {
        const QString root = m_drives->itemData(i, kPathRole).toString();
        const bool inside = path == root || root == QDir::rootPath() || path.startsWith(root + QLatin1Char('/'));
        if (inside && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    return best;
}

void frmDir::fillFolders()
{
    m_dirs->clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The ancestors from the root down to the current folder, then its sub-folders.
    QStringList chain;
    for (QDir d(m_folder);;) {
        chain.prepend(d.absolutePath());
        if (d.isRoot() || !d.cdUp())
            break;
    }
    int depth = 0;
    QListWidgetItem *current = nullptr;
    for (const QString &folder : chain) {
        const QString name = folder == QDir::rootPath() ? folder : QFileInfo(folder).fileName();
        auto *item = new QListWidgetItem(open, QString(depth * 2, QLatin1Char(' ')) + name, m_dirs);
        item->setData(kPathRole, folder);
        current = item;
        ++depth;
    }
    const QStringList subs =
        QDir(m_folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    for (const QString &sub : subs) {
        auto *item = new QListWidgetItem(closed, QString(depth * 2, QLatin1Char(' ')) + sub, m_dirs);
        item->setData(kPathRole, QDir(m_folder).filePath(sub));
    }
    m_dirs->setCurrentItem(current);
    m_path->setText(m_folder);
}

void frmDir::Command2_Click()
{
    // The folder chosen goes into Kivrel.ini: one that the file cannot hold is refused here.
    const QString character = Cp932::firstUnstorable(m_folder);
    if (!character.isEmpty()) {
        MessageBox::show(UnstorableText::message(windowTitle(), character),
                         MessageBox::OkOnly | MessageBox::Exclamation, MessageBox::defaultTitle());
        m_dirs->setFocus(Qt::OtherFocusReason);
        return;
    }
    m_dirName = m_folder;
    hide();
}

void frmDir::btnCancel_Click()
{
    m_dirName.clear();
    hide();
}

void frmDir::Drive1_Change(int index)
{
    // A place that cannot be opened (a volume gone away) leaves the list as it was.
    if (!setFolder(m_drives->itemData(index, kPathRole).toString())) {
        const int place = placeFor(m_folder);
        if (place >= 0)
            m_drives->setCurrentIndex(place);
    }
}

void frmDir::Dir1_DoubleClick(QListWidgetItem *item)
{
    if (item)
        setFolder(item->data(kPathRole).toString());
}

void frmDir::reject()
{
    // Closed by the window frame: the callers take an empty result as Cancel.
    m_dirName.clear();
    QDialog::reject();
}

void frmDir::keyPressEvent(QKeyEvent *event)
{
    // No button answers Esc; Enter still presses OK.
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}
