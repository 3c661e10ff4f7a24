#include "terminal/Storage.h"

#include "terminal/MacroCodec.h"

#include <QCoreApplication>
#include <QDir>

QString UserStoreFile()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/terminal.ini");
}

std::unique_ptr<QSettings> OpenUserStore()
{
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\Software"), QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(UserStoreFile(), QSettings::IniFormat);
#endif
}

QString ProgramKey()
{
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("terminal") : name;
}

QString KeyToGroup(const QString& key)
{
    QString group = key;
    group.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return group;
}

QString ReadStoreText(const QSettings& store, const QString& name, bool* found)
{
    const QVariant value = store.value(name);
    if (found)
        *found = value.isValid();
    if (!value.isValid())
        return {};
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

namespace {
QString join(const QString& group, const QString& name)
{
    return group.isEmpty() ? name : group + QLatin1Char('/') + name;
}

// The trimming of the stored texts: blanks and control characters on both sides.
QString trimBlanks(const QString& text)
{
    qsizetype begin = 0, end = text.size();
    while (begin < end && text[begin].unicode() <= ' ')
        ++begin;
    while (end > begin && text[end - 1].unicode() <= ' ')
        --end;
    return text.mid(begin, end - begin);
}
}  // namespace

void TStoredSettings::addInteger(const QString& name, std::function<int()> get, std::function<void(int)> set)
{
    m_entries.push_back({name, Integer, [get] { return QString::number(get()); },
                         [set](const QString& text) {
                             int value = 0;
                             if (!TextToInt(text, &value))
                                 value = 0;
                             set(value);
                         }});
}

void TStoredSettings::addBoolean(const QString& name, std::function<bool()> get, std::function<void(bool)> set)
{
    m_entries.push_back({name, Boolean, [get] { return get() ? QStringLiteral("True") : QStringLiteral("False"); },
                         [set](const QString& text) {
                             if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
                                 set(true);
                             else if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
                                 set(false);
                         }});
}

void TStoredSettings::addText(const QString& name, std::function<QString()> get,
                              std::function<void(const QString&)> set)
{
    m_entries.push_back({name, Text, std::move(get), std::move(set)});
}

QStringList TStoredSettings::names() const
{
    QStringList result;
    for (const Entry& e : m_entries)
        result << e.Name;
    return result;
}

void TStoredSettings::save(QSettings& store, const QString& group) const
{
    for (const Entry& e : m_entries)
        store.setValue(join(group, e.Name), trimBlanks(e.Get()));
}

void TStoredSettings::restore(const QSettings& store, const QString& group) const
{
    for (const Entry& e : m_entries) {
        bool found = false;
        QString text = ReadStoreText(store, join(group, e.Name), &found);
        if (!found)
            text = e.Get();
        e.Set(trimBlanks(text));
    }
}

namespace {
QString sizeSuffix(QSize screen)
{
    return QStringLiteral("(%1x%2)").arg(screen.width()).arg(screen.height());
}

QString formatFour(int a, int b, int c, int d)
{
    return QStringLiteral("%1,%2,%3,%4").arg(a).arg(b).arg(c).arg(d);
}

// Four comma-separated numbers; a missing or bad one keeps its default.
void parseFour(const QString& text, int out[4])
{
    const QStringList fields = text.split(QLatin1Char(','));
    for (int i = 0; i < 4 && i < fields.size(); ++i) {
        int value = 0;
        if (TextToInt(trimBlanks(fields[i]), &value))
            out[i] = value;
    }
}

int readInt(const QSettings& store, const QString& name, int missing, bool* found = nullptr)
{
    bool present = false;
    const QString text = ReadStoreText(store, name, &present);
    int value = missing;
    if (!present || !TextToInt(trimBlanks(text), &value))
        value = missing;
    if (found)
        *found = present;
    return value;
}

// A position value: the name with the screen size first, the plain name second.
QString readPosition(const QSettings& store, const QString& group, const QString& name, QSize screen,
                     bool* found)
{
    QString text = ReadStoreText(store, join(group, name + sizeSuffix(screen)), found);
    if (!*found)
        text = ReadStoreText(store, join(group, name), found);
    return text;
}
}  // namespace

void SavePlacement(QSettings& store, const QString& group, const TPlacement& placement, QSize screen,
                   bool destroying)
{
    const QRect& r = placement.Normal;
    const QString minMax = formatFour(-1, -1, -1, -1);
    const QString norm = formatFour(r.left(), r.top(), r.left() + r.width(), r.top() + r.height());
    store.setValue(join(group, QStringLiteral("Flags")), QString::number(placement.Flags));
    store.setValue(join(group, QStringLiteral("ShowCmd")), QString::number(placement.ShowCmd));
    store.setValue(join(group, QStringLiteral("PixelsPerInch")), QString::number(placement.PixelsPerInch));
    store.setValue(join(group, QStringLiteral("MinMaxPos") + sizeSuffix(screen)), minMax);
    store.setValue(join(group, QStringLiteral("MinMaxPos")), minMax);
    store.setValue(join(group, QStringLiteral("NormPos") + sizeSuffix(screen)), norm);
    store.setValue(join(group, QStringLiteral("NormPos")), norm);
    store.setValue(join(group, QStringLiteral("Visible")), destroying ? QStringLiteral("1") : QStringLiteral("0"));
}

TPlacementRestore RestorePlacement(const QSettings& store, const QString& group, QSize screen, int pixelsPerInch,
                                   QRect current)
{
    TPlacementRestore result;
    readInt(store, join(group, QStringLiteral("Flags")), 0);
    bool minMaxFound = false, normFound = false;
    int minMax[4] = {0, 0, 0, 0};
    parseFour(readPosition(store, group, QStringLiteral("MinMaxPos"), screen, &minMaxFound), minMax);
    int norm[4] = {current.left(), current.top(), current.left() + current.width(),
                   current.top() + current.height()};
    parseFour(readPosition(store, group, QStringLiteral("NormPos"), screen, &normFound), norm);
    const int storedPpi = readInt(store, join(group, QStringLiteral("PixelsPerInch")), pixelsPerInch);
    if ((minMaxFound || normFound) && storedPpi == pixelsPerInch && norm[0] < norm[2]) {
        result.ApplyRect = true;
        result.Normal = QRect(QPoint(norm[0], norm[1]), QSize(norm[2] - norm[0], qMax(1, norm[3] - norm[1])));
    }
    switch (readInt(store, join(group, QStringLiteral("ShowCmd")), 0)) {
    case 1:
    case 5:
    case 9:
        result.State = Qt::WindowNoState;
        break;
    case 2:
    case 6:
    case 7:
        result.State = Qt::WindowMinimized;
        break;
    default:
        result.State = Qt::WindowMaximized;
        break;
    }
    return result;
}

QStringList AddToHistoryList(QStringList list, const QString& text, int max)
{
    if (text.isEmpty())
        return list;
    list.removeAll(text);
    list.prepend(text);
    while (list.size() > qMax(0, max))
        list.removeLast();
    return list;
}

QStringList LoadHistoryList(const QSettings& store, const QString& group, int max)
{
    QStringList list;
    for (int i = 0; i < max; ++i) {
        const QString text = ReadStoreText(store, join(group, QStringLiteral("H%1").arg(i)));
        if (text.isEmpty())
            break;
        list << text;
    }
    return list;
}

void SaveHistoryList(QSettings& store, const QString& group, const QStringList& list)
{
    for (int i = 0; i < list.size(); ++i)
        store.setValue(join(group, QStringLiteral("H%1").arg(i)), list[i]);
}
