#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>

class QComboBox;
class QLabel;
class QListWidget;
class QListWidgetItem;

// The program's own folder picker: a list of places (the file-system root,
// the home folder, mounted volumes) standing in for a drive list, and below
// it a folder list showing the current folder's ancestors and sub-folders.
// A double-click opens a folder. One window serves every call: it is hidden,
// not destroyed, after each use, and keeps its folder and its caption.
//
// Tests never show the window: setTestAnswer() or setTestDriver() make
// Execute() return without waiting for a user.
class frmDir : public QDialog
{
    Q_OBJECT
public:
    static const QString DefaultCaption; // "ﾌｫﾙﾀﾞの指定"
    static const QString OkText;         // "OK"
    static const QString CancelText;     // "キャンセル"

    // Opens the picker on initialFolder (an absolute path; "\" or "/" is the
    // root) and returns the chosen folder without a final "/" (except the
    // root), or the empty text after Cancel or a close by the window frame.
    // A folder that does not exist leaves the picker where it was. A non-empty
    // title becomes the caption; an empty one keeps the caption of the last
    // call. Returns only after the picker has been hidden.
    static QString Execute(const QString &initialFolder, const QString &title = QString());

    // Test hooks, consulted by Execute() after it has set the folder and the
    // caption, instead of showing the window:
    // - an answer (kept until reset with std::nullopt) is returned as the
    //   result, as if the user had chosen it (an empty text = Cancel);
    // - a driver is called with the window and may act on it (choose a place,
    //   open folders, click OK or Cancel); Execute() then returns DirName.
    // The answer wins when both are set.
    static void setTestAnswer(std::optional<QString> answer);
    static void setTestDriver(std::function<void(frmDir *)> driver);

    // The one window, created on first use (null before).
    static frmDir *instance();
    // Destroys the one window (tests start afresh with it).
    static void destroyInstance();

    // The folder list's current folder.
    QString currentFolder() const { return m_folder; }
    // Makes path the folder list's current folder; false (nothing changes)
    // when it is not an existing folder.
    bool setFolder(const QString &path);
    // The result of the last OK, or empty after Cancel.
    QString DirName() const { return m_dirName; }

private slots:
    void Command2_Click();
    void btnCancel_Click();
    void Drive1_Change(int index);
    void Dir1_DoubleClick(QListWidgetItem *item);

protected:
    void reject() override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    explicit frmDir(QWidget *parent = nullptr);
    void fillPlaces();
    void fillFolders();
    // The place whose path is the longest leading part of path.
    int placeFor(const QString &path) const;

    QComboBox *m_drives = nullptr;
    QListWidget *m_dirs = nullptr;
    QLabel *m_path = nullptr;
    QString m_folder;
    QString m_dirName;
};
