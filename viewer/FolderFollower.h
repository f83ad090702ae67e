#pragma once
// Watches a folder for captures: every .zop file that appears in it (or is
// written again) after the watch began is announced once, oldest first.
// Hidden files are left out, so a capture still being written under its
// temporary name is seen only when it is complete under its own.
#include <QDateTime>
#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QTimer>

namespace zop::viewer {

class FolderFollower : public QObject {
    Q_OBJECT
public:
    explicit FolderFollower(QObject* parent = nullptr);

    // Starts watching `folder` (the files already there count as seen); false
    // when it is not a readable folder.
    bool Follow(const QString& folder);
    void Stop();
    const QString& Folder() const { return m_folder; }
    bool Following() const { return !m_folder.isEmpty(); }

Q_SIGNALS:
    void CaptureArrived(const QString& path);

private:
    // Announces what is new since the last look.
    void Look(bool announce);

    QFileSystemWatcher m_watcher;
    // Changes the watcher may miss (some network folders) are caught by a slow look.
    QTimer m_poll;
    QString m_folder;
    struct Seen {
        QDateTime Modified;
        qint64 Size = 0;
    };
    QHash<QString, Seen> m_seen;
};

} // namespace zop::viewer
