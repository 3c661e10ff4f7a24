#include "ide/ProfileStore.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

constexpr QByteArrayView RecentSection("Recent");
constexpr QByteArrayView DocksSection("Docks");
constexpr QByteArrayView CoverageSection("Coverage");

// The placement keys in the order a window's section has always had them.
using PlaceField = std::optional<qint64> ProfileStore::WindowPlace::*;
struct PlaceKey {
    const char* key;
    PlaceField field;
};
constexpr PlaceKey PlaceKeys[] = {
    {"PlaceFlags", &ProfileStore::WindowPlace::flags},     {"PlaceMinPosX", &ProfileStore::WindowPlace::minX},
    {"PlaceMinPosY", &ProfileStore::WindowPlace::minY},    {"PlaceMaxPosX", &ProfileStore::WindowPlace::maxX},
    {"PlaceMaxPosY", &ProfileStore::WindowPlace::maxY},    {"PlaceNormPosL", &ProfileStore::WindowPlace::left},
    {"PlaceNormPosT", &ProfileStore::WindowPlace::top},    {"PlaceNormPosR", &ProfileStore::WindowPlace::right},
    {"PlaceNormPosB", &ProfileStore::WindowPlace::bottom}, {"pcHR", &ProfileStore::WindowPlace::hRange},
    {"pcHP", &ProfileStore::WindowPlace::hPos},            {"pcVR", &ProfileStore::WindowPlace::vRange},
    {"pcVP", &ProfileStore::WindowPlace::vPos},
};

QByteArray fileKey(int i)
{
    return "File" + QByteArray::number(i + 1);
}

} // namespace

ProfileStore::ProfileStore(const QString& iniFileName)
    : m_path(resolvePath(iniFileName))
{
}

QString ProfileStore::resolvePath(const QString& iniFileName)
{
    if (iniFileName.isEmpty() || QFileInfo(iniFileName).isAbsolute())
        return iniFileName;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') + iniFileName;
}

std::optional<int> ProfileStore::parseInt(QByteArrayView text)
{
    QByteArrayView t = text.trimmed();
    bool negative = false;
    if (!t.isEmpty() && (t.front() == '-' || t.front() == '+')) {
        negative = t.front() == '-';
        t = t.sliced(1);
    }
    int base = 10;
    if (t.startsWith("0x") || t.startsWith("0X")) {
        base = 16;
        t = t.sliced(2);
    } else if (t.startsWith('$')) {
        base = 16;
        t = t.sliced(1);
    }
    if (t.isEmpty() || t.size() > 10)
        return std::nullopt;
    quint64 v = 0;
    for (char c : t) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        v = v * base + d;
    }
    qint64 result;
    if (base == 16) {
        // Hexadecimal spells the 32 bits, so $FFFFFFFF is -1 as on Windows.
        if (v > 0xFFFFFFFFull)
            return std::nullopt;
        result = qint32(quint32(v));
    } else {
        if (v > 0x80000000ull || (!negative && v == 0x80000000ull))
            return std::nullopt;
        result = qint64(v);
    }
    return int(negative ? -result : result);
}

const TProfileFile& ProfileStore::file() const
{
    if (!m_file) {
        m_file.emplace();
        if (!m_path.isEmpty())
            m_file->load(m_path);
    }
    return *m_file;
}

QByteArray ProfileStore::value(QByteArrayView section, QByteArrayView key) const
{
    return file().GetPrivateProfileString(section, key);
}

void ProfileStore::setValue(QByteArrayView section, QByteArrayView key, const QByteArray& value)
{
    if (m_path.isEmpty() || file().find(section, key) == value)
        return;
    m_file->WritePrivateProfileString(section, key, value);
    m_changes.push_back({section.toByteArray(), key.toByteArray(), value});
}

QString ProfileStore::save()
{
    if (m_changes.empty())
        return {};
    // The keys go onto the file as it is now, not as it was at the first look.
    TProfileFile onDisk;
    onDisk.load(m_path);
    for (const Change& change : m_changes)
        onDisk.WritePrivateProfileString(change.section, change.key, change.value);
    if (!onDisk.save(m_path))
        return QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(m_path));
    m_changes.clear();
    m_file = std::move(onDisk);
    return {};
}

ProfileStore::WindowPlace ProfileStore::windowPlace(const QString& section) const
{
    const QByteArray name = section.toUtf8();
    WindowPlace place;
    for (const PlaceKey& key : PlaceKeys)
        if (const std::optional<int> v = parseInt(value(name, key.key)))
            place.*key.field = *v;
    return place;
}

void ProfileStore::setWindowPlace(const QString& section, const WindowPlace& place)
{
    const QByteArray name = section.toUtf8();
    for (const PlaceKey& key : PlaceKeys)
        if (const std::optional<qint64>& v = place.*key.field)
            setValue(name, key.key, QByteArray::number(*v));
}

ProfileStore::Recent ProfileStore::recent(int capacity) const
{
    Recent recent;
    for (int i = 0; i < capacity; ++i) {
        const QString file = QString::fromUtf8(value(RecentSection, fileKey(i)));
        if (!file.isEmpty() && !recent.files.contains(file))
            recent.files.append(file);
    }
    recent.lastFolder = QString::fromUtf8(value(RecentSection, "LastFolder"));
    return recent;
}

void ProfileStore::setRecent(const Recent& recent, int capacity)
{
    for (int i = 0; i < capacity; ++i)
        setValue(RecentSection, fileKey(i), recent.files.value(i).toUtf8());
    setValue(RecentSection, "LastFolder", recent.lastFolder.toUtf8());
}

ProfileStore::DockLayout ProfileStore::dockLayout() const
{
    DockLayout layout;
    layout.oneWindow = value(DocksSection, "Layout").trimmed().toLower() == "one";
    layout.separateState = QByteArray::fromBase64(value(DocksSection, "Separate"));
    layout.oneWindowState = QByteArray::fromBase64(value(DocksSection, "OneWindow"));
    layout.onePlace = value(DocksSection, "OneWindowPlace").trimmed();
    return layout;
}

void ProfileStore::setDockLayout(const DockLayout& layout)
{
    setValue(DocksSection, "Layout", layout.oneWindow ? "one" : "separate");
    setValue(DocksSection, "Separate", layout.separateState.toBase64());
    setValue(DocksSection, "OneWindow", layout.oneWindowState.toBase64());
    setValue(DocksSection, "OneWindowPlace", layout.onePlace);
}

bool ProfileStore::s51Simulator() const
{
    return value("Simulator", "Kind").trimmed().toLower() == "s51";
}

void ProfileStore::setS51Simulator(bool s51)
{
    setValue("Simulator", "Kind", s51 ? "s51" : "core");
}

QString ProfileStore::sdccProgram() const
{
    return QString::fromUtf8(value("C", "Sdcc").trimmed());
}

void ProfileStore::setSdccProgram(const QString& program)
{
    setValue("C", "Sdcc", program.toUtf8());
}

std::optional<bool> ProfileStore::coverageChoice(const char* key) const
{
    const QByteArray stored = value(CoverageSection, key).trimmed();
    if (stored.isEmpty())
        return std::nullopt;
    return stored == "1";
}

void ProfileStore::setCoverageChoice(const char* key, bool on)
{
    setValue(CoverageSection, key, on ? "1" : "0");
}
