#include "viewer/FolderFollower.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace zop::viewer {

FolderFollower::FolderFollower(QObject* parent)
    : QObject(parent)
{
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { Look(true); });
    m_poll.setInterval(500);
    connect(&m_poll, &QTimer::timeout, this, [this] { Look(true); });
}

bool FolderFollower::Follow(const QString& folder)
{
    Stop();
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isReadable())
        return false;
    m_folder = info.absoluteFilePath();
    m_watcher.addPath(m_folder);
    Look(false);
    m_poll.start();
    return true;
}

void FolderFollower::Stop()
{
    if (!m_folder.isEmpty())
        m_watcher.removePath(m_folder);
    m_poll.stop();
    m_folder.clear();
    m_seen.clear();
}

void FolderFollower::Look(bool announce)
{
    if (m_folder.isEmpty())
        return;
    const QFileInfoList files = QDir(m_folder).entryInfoList({ "*.zop" }, QDir::Files | QDir::Readable, QDir::Name);
    QList<QFileInfo> fresh;
    for (const QFileInfo& file : files) {
        if (file.fileName().startsWith('.') || !file.fileName().endsWith(".zop", Qt::CaseInsensitive))
            continue;
        const Seen now { file.lastModified(), file.size() };
        const auto known = m_seen.constFind(file.fileName());
        if (known != m_seen.cend() && known->Modified == now.Modified && known->Size == now.Size)
            continue;
        m_seen.insert(file.fileName(), now);
        fresh.append(file);
    }
    if (!announce)
        return;
    std::stable_sort(fresh.begin(), fresh.end(),
        [](const QFileInfo& a, const QFileInfo& b) { return a.lastModified() < b.lastModified(); });
    for (const QFileInfo& file : fresh)
        Q_EMIT CaptureArrived(file.absoluteFilePath());
}

} // namespace zop::viewer
