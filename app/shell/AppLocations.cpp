#include "app/shell/AppLocations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <mutex>

namespace applocations {

namespace {

// The user's sub-folder in each XDG location.
const char* const kUserFolder = "Orvelle";
// The shipped files of an installed program, relative to its bin/.
const char* const kInstalledResources = "../share/orvelle";

std::mutex g_baseMutex;
QString g_baseOverride;

bool hasSkin(const QString& strDir)
{
    return QFileInfo(strDir + "/skin").isDir();
}

// Qt 5 has no location for XDG_STATE_HOME; the basedir rules: an absolute
// $XDG_STATE_HOME, otherwise ~/.local/state.
QString stateHome()
{
    const QString env = QFile::decodeName(qgetenv("XDG_STATE_HOME"));
    if (!env.isEmpty() && QDir::isAbsolutePath(env))
        return QDir::cleanPath(env);
    return QDir::homePath() + "/.local/state";
}

QString userFolder(QStandardPaths::StandardLocation location)
{
    return QStandardPaths::writableLocation(location) + "/" + kUserFolder;
}

}  // namespace

QString baseDir()
{
    {
        std::lock_guard<std::mutex> lock(g_baseMutex);
        if (!g_baseOverride.isEmpty())
            return g_baseOverride;
    }
    return QDir::fromNativeSeparators(QCoreApplication::applicationDirPath());
}

void setBaseDir(const QString& strDir)
{
    std::lock_guard<std::mutex> lock(g_baseMutex);
    g_baseOverride = QDir::fromNativeSeparators(strDir);
}

QString resourceDir()
{
    const QString base = baseDir();
    if (hasSkin(base))
        return base;
    const QString installed = QDir::cleanPath(base + "/" + kInstalledResources);
    if (hasSkin(installed))
        return installed;
    return base;
}

bool folderIsWritable(const QString& strDir)
{
    if (!QDir().mkpath(strDir))
        return false;
    QFile probe(strDir + "/.orvelle-write-probe");
    if (!probe.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    probe.close();
    probe.remove();
    QFile config(strDir + "/Config.ini");
    if (config.exists()) {
        if (!config.open(QIODevice::ReadWrite | QIODevice::Append))
            return false;
        config.close();
    }
    return true;
}

Folders locate()
{
    const QString base = baseDir();
    Folders folders;
    folders.bInstalled = resourceDir() != base;
    folders.bUserFolders = folders.bInstalled || !folderIsWritable(base);
    if (!folders.bUserFolders) {
        folders.strConfigDir = base;
        folders.strCaptureDir = base + "/Backup/Picture";
        folders.strRecordDir = base + "/Backup/Record";
        folders.strMediaWorkDir = base + "/Temp/";
        folders.strCrashDir = base;
        return folders;
    }
    const QString videos = userFolder(QStandardPaths::MoviesLocation);
    folders.strConfigDir = userFolder(QStandardPaths::GenericConfigLocation);
    folders.strCaptureDir = videos + "/Picture";
    folders.strRecordDir = videos + "/Record";
    folders.strMediaWorkDir = userFolder(QStandardPaths::GenericCacheLocation) + "/Temp/";
    folders.strCrashDir = stateHome() + "/" + kUserFolder;
    return folders;
}

}  // namespace applocations
