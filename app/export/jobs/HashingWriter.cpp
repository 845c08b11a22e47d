#include "app/export/jobs/HashingWriter.h"

#include <QFile>
#include <QFileInfo>

CHashingWriter::~CHashingWriter()
{
    if (m_bOpen)
        m_file.Close();
}

bool CHashingWriter::open(const QString& strPath)
{
    if (m_bOpen)
        m_file.Close();
    m_strPath = strPath;
    m_sha.reset();
    m_hash.clear();
    m_nBytes = 0;
    m_bHashValid = false;
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
    if (counted > 0) {
        m_sha.add(pData, counted);
        m_nBytes += counted;
    }
    return counted == nBytes;
}

bool CHashingWriter::close()
{
    if (!m_bOpen)
        return false;
    m_file.Close();
    m_bOpen = false;
    m_hash = m_sha.finish();
    const QFileInfo info(m_strPath);
    m_bHashValid = info.isFile() && uint64_t(info.size()) == m_nBytes;
    return m_bHashValid;
}
