#include "app/export/jobs/HashingWriter.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

CHashingWriter::~CHashingWriter()
{
    stopHashing();
    if (m_bOpen)
        m_file.Close();
}

bool CHashingWriter::open(const QString& strPath)
{
    stopHashing();
    if (m_bOpen)
        m_file.Close();
    m_strPath = strPath;
    m_sha.reset();
    m_hash.clear();
    m_nBytes = 0;
    m_bHashValid = false;
    m_fill.clear();
    const QByteArray path = QFile::encodeName(strPath);
    m_bOpen = m_file.Open(path.constData(), CFSFile::modeReadWrite | CFSFile::modeCreate);
    return m_bOpen;
}

bool CHashingWriter::write(const void* pData, size_t nBytes)
{
    if (!m_bOpen)
        return false;
    const size_t put = m_file.Write(pData, nBytes);
    const size_t counted = put <= nBytes ? put : 0;
    const char* p = static_cast<const char*>(pData);
    for (size_t done = 0; done < counted;) {
        if (m_fill.capacity() < kBlockBytes)
            m_fill.reserve(kBlockBytes);
        const size_t take = std::min(counted - done, kBlockBytes - m_fill.size());
        m_fill.insert(m_fill.end(), p + done, p + done + take);
        done += take;
        if (m_fill.size() == kBlockBytes)
            handOver();
    }
    m_nBytes += counted;
    return counted == nBytes;
}

void CHashingWriter::handOver()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_thread.joinable()) {
        m_bClosing = false;
        m_thread = std::thread(&CHashingWriter::hashLoop, this);
    }
    m_queued.push_back(std::move(m_fill));
    m_wake.notify_all();
    if (m_free.empty() && m_nBlocks < kBlocks) {
        ++m_nBlocks;
        m_fill = std::vector<char>();
        return;  // a new block is reserved by write()
    }
    m_wake.wait(lock, [this] { return !m_free.empty(); });
    m_fill = std::move(m_free.back());
    m_free.pop_back();
    m_fill.clear();
}

void CHashingWriter::hashLoop()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return !m_queued.empty() || m_bClosing; });
        if (m_queued.empty())
            return;  // closing, and every block hashed
        std::vector<char> block = std::move(m_queued.front());
        m_queued.pop_front();
        lock.unlock();
        m_sha.add(block.data(), block.size());
        lock.lock();
        m_free.push_back(std::move(block));
        m_wake.notify_all();
    }
}

void CHashingWriter::stopHashing()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bClosing = true;
        m_wake.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queued.clear();
    m_bClosing = false;
}

bool CHashingWriter::close()
{
    if (!m_bOpen)
        return false;
    m_file.Close();
    m_bOpen = false;
    // The hashing thread finishes what is queued; the rest is hashed here.
    stopHashing();
    if (!m_fill.empty())
        m_sha.add(m_fill.data(), m_fill.size());
    m_fill.clear();
    m_hash = m_sha.finish();
    const QFileInfo info(m_strPath);
    m_bHashValid = info.isFile() && uint64_t(info.size()) == m_nBytes;
    return m_bHashValid;
}
