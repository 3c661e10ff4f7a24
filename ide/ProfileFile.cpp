#include "ide/ProfileFile.h"

#include "common/FileWriteQt.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The section name of a "[name]" line, or a null array for any other line.
QByteArray sectionName(const QByteArray& line)
{
    const QByteArray t = line.trimmed();
    if (!t.startsWith('['))
        return {};
    const qsizetype close = t.indexOf(']');
    if (close < 0)
        return {};
    QByteArray name = t.mid(1, close - 1).trimmed();
    if (name.isNull())
        name = QByteArray("");
    return name;
}

bool sameName(QByteArrayView a, QByteArrayView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Splits a "key=value" line; false for lines without "=" and for comments.
bool splitKey(const QByteArray& line, QByteArray* key, QByteArray* value)
{
    const QByteArray t = line.trimmed();
    if (t.isEmpty() || t.startsWith(';') || t.startsWith('#') || t.startsWith('['))
        return false;
    const qsizetype eq = t.indexOf('=');
    if (eq < 0)
        return false;
    *key = t.left(eq).trimmed();
    if (value)
        *value = t.mid(eq + 1).trimmed();
    return true;
}

} // namespace

void TProfileFile::load(const QString& path)
{
    QFile f(path);
    setBytes(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray());
}

void TProfileFile::setBytes(const QByteArray& bytes)
{
    m_lines.clear();
    // A UTF-8 byte order mark left by an editor is no part of the first line.
    qsizetype start = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    const qsizetype n = bytes.size();
    for (qsizetype i = start; i < n; ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        m_lines.push_back(bytes.mid(start, i - start));
        if (bytes[i] == '\r' && i + 1 < n && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        m_lines.push_back(bytes.mid(start));
}

QByteArray TProfileFile::bytes() const
{
#ifdef Q_OS_WIN
    static const QByteArray eol("\r\n");
#else
    static const QByteArray eol("\n");
#endif
    QByteArray out;
    for (const QByteArray& line : m_lines)
        out += line + eol;
    return out;
}

QByteArray TProfileFile::GetPrivateProfileString(QByteArrayView section, QByteArrayView key,
                                                 const QByteArray& def) const
{
    return find(section, key).value_or(def);
}

std::optional<QByteArray> TProfileFile::find(QByteArrayView section, QByteArrayView key) const
{
    bool inSection = false;
    bool seenSection = false;
    for (const QByteArray& line : m_lines) {
        const QByteArray name = sectionName(line);
        if (!name.isNull()) {
            if (seenSection && inSection)
                break; // the first matching section only
            inSection = sameName(name, section);
            seenSection = seenSection || inSection;
            continue;
        }
        QByteArray k, v;
        if (inSection && splitKey(line, &k, &v) && sameName(k, key)) {
            if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
                v = v.mid(1, v.size() - 2);
            return v;
        }
    }
    return std::nullopt;
}

void TProfileFile::WritePrivateProfileString(QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    const QByteArray entry = key.toByteArray() + '=' + value.toByteArray();
    qsizetype sectionLine = -1;
    qsizetype lastEntry = -1; // last non-blank line of the section
    for (qsizetype i = 0; i < qsizetype(m_lines.size()); ++i) {
        const QByteArray name = sectionName(m_lines[i]);
        if (!name.isNull()) {
            if (sectionLine >= 0)
                break;
            if (sameName(name, section))
                sectionLine = lastEntry = i;
            continue;
        }
        if (sectionLine < 0)
            continue;
        QByteArray k;
        if (splitKey(m_lines[i], &k, nullptr) && sameName(k, key)) {
            m_lines[i] = entry;
            return;
        }
        if (!m_lines[i].trimmed().isEmpty())
            lastEntry = i;
    }
    if (sectionLine >= 0) {
        m_lines.insert(m_lines.begin() + lastEntry + 1, entry);
        return;
    }
    if (!m_lines.empty() && !m_lines.back().trimmed().isEmpty())
        m_lines.push_back(QByteArray());
    m_lines.push_back('[' + section.toByteArray() + ']');
    m_lines.push_back(entry);
}

bool TProfileFile::save(const QString& path) const
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    return m51::writeFileAtomically(path, bytes()).isEmpty();
}
