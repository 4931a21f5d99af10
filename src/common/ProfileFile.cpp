#include "common/ProfileFile.h"

#include "common/AtomicFile.h"
#include "common/RegularFile.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <cerrno>
#include <cstring>
#include <optional>

namespace zelvar {

namespace {

constexpr char ByteOrderMark[] = "\xEF\xBB\xBF"; // UTF-8's

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QStringView trimmedView(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

// Shares the text when there is nothing to drop.
QString trimBlanks(const QString &text)
{
    const QStringView trimmed = trimmedView(text);
    return trimmed.size() == text.size() ? text : trimmed.toString();
}

// A value must stay on its line: each line break (CRLF, LF or CR) becomes one blank.
QString oneLine(const QString &value)
{
    if (!value.contains(u'\n') && !value.contains(u'\r'))
        return value;
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\r') {
            out += u' ';
            if (i + 1 < value.size() && value[i + 1] == u'\n')
                ++i;
        } else if (c == u'\n') {
            out += u' ';
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

namespace {
bool isAscii(QByteArrayView bytes)
{
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

bool isAscii(QStringView text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x80)
            return false;
    return true;
}

// Calls `visit` with each character of `text` (a surrogate pair is one character) and its
// bytes in the code page, nothing when the code page cannot hold it.
template <typename Visit>
void encodeEach(QStringView text, Visit visit)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype length = 1;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            length = 2;
        const QStringView character = text.mid(i, length);
        QStringEncoder one("windows-1252");
        const QByteArray bytes = one.encode(character);
        visit(character, one.hasError() ? std::nullopt : std::optional<QByteArray>(bytes));
        i += length - 1;
    }
}
} // namespace

QString decodeWindows1252(const QByteArray &bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    // Opening the converter costs more than decoding a whole panel file: keep one.
    thread_local QStringDecoder decoder("windows-1252");
    decoder.resetState();
    return decoder.decode(bytes);
}

QByteArray encodeWindows1252(const QString &text, bool *lossy)
{
    if (isAscii(text)) {
        if (lossy)
            *lossy = false;
        return text.toLatin1();
    }
    QStringEncoder encoder("windows-1252");
    QByteArray out = encoder.encode(text);
    if (!encoder.hasError()) {
        if (lossy)
            *lossy = false;
        return out;
    }
    // The codec marks what it cannot hold with a control byte; redo it one character at a
    // time so that each such character becomes the "?" the platform writes.
    out.clear();
    out.reserve(text.size());
    encodeEach(text, [&out](QStringView, const std::optional<QByteArray> &bytes) {
        out += bytes.value_or(QByteArray("?"));
    });
    if (lossy)
        *lossy = true;
    return out;
}

QStringList charactersOutsideWindows1252(QStringView text)
{
    QStringList outside;
    if (isAscii(text))
        return outside;
    QStringEncoder whole("windows-1252");
    const QByteArray encoded = whole.encode(text);
    if (!whole.hasError())
        return outside;
    encodeEach(text, [&outside](QStringView character, const std::optional<QByteArray> &bytes) {
        if (!bytes && !outside.contains(character))
            outside.append(character.toString());
    });
    return outside;
}

QString ProfileFile::foldName(QStringView name)
{
    QString folded;
    foldInto(name, folded);
    return folded;
}

void ProfileFile::foldInto(QStringView name, QString &out)
{
    qsizetype begin = 0;
    qsizetype end = name.size();
    while (begin < end && isBlank(name[begin]))
        ++begin;
    while (end > begin && isBlank(name[end - 1]))
        --end;
    // Reuses the buffer's storage: lookups fold every name they are asked for.
    out.resize(end - begin);
    char16_t *data = reinterpret_cast<char16_t *>(out.data());
    for (qsizetype i = begin; i < end; ++i) {
        const char16_t c = name[i].unicode();
        if (c >= 0x80) {
            // Most names are plain ASCII; the rest go through Unicode case folding.
            out = name.mid(begin, end - begin).toString().toCaseFolded();
            return;
        }
        data[i - begin] = (c >= u'A' && c <= u'Z') ? char16_t(c + (u'a' - u'A')) : c;
    }
}

bool ProfileFile::parseInteger(const QString &text, int *value)
{
    const QStringView t = trimmedView(text);
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && t[i] == u'-') {
        negative = true;
        ++i;
    }
    if (i >= t.size())
        return false;
    qint64 result = 0;
    for (; i < t.size(); ++i) {
        const char16_t c = t[i].unicode();
        if (c < u'0' || c > u'9')
            return false;
        result = result * 10 + (c - u'0');
        if (result > qint64(2147483648LL))
            return false;
    }
    if (negative)
        result = -result;
    if (result > 2147483647LL || result < -2147483648LL)
        return false;
    *value = int(result);
    return true;
}

ProfileFile ProfileFile::load(const QString &path, bool *exists)
{
    if (exists)
        *exists = false;
    FileReadFailure failure;
    const std::optional<QByteArray> bytes = readRegularFile(path, &failure);
    if (!bytes) {
        ProfileFile unread;
        unread.m_readError = failure.reason;
        return unread;
    }
    if (exists)
        *exists = true;
    return fromBytes(*bytes);
}

ProfileFile ProfileFile::fromBytes(const QByteArray &bytes)
{
    ProfileFile profile;
    // Some editors put a UTF-8 byte-order mark in front: the file reads as without it, and
    // a rewrite keeps it.
    profile.m_byteOrderMark = bytes.startsWith(ByteOrderMark);
    const QString text = decodeWindows1252(profile.m_byteOrderMark ? bytes.sliced(3) : bytes);
    qsizetype start = 0;
    int lineNumber = 1;
    while (start < text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            end = text.size();
        qsizetype stop = end;
        if (stop > start && text[stop - 1] == u'\r')
            --stop;
        profile.appendLine(QStringView(text).mid(start, stop - start), lineNumber++);
        start = end + 1;
    }
    return profile;
}

namespace {

// The case-folded character at `i` of a name, which moves `i` past it.
char32_t foldedAt(QStringView name, qsizetype &i)
{
    const char16_t c = name[i++].unicode();
    if (c < 0x80)
        return (c >= u'A' && c <= u'Z') ? char32_t(c + (u'a' - u'A')) : char32_t(c);
    if (QChar::isHighSurrogate(c) && i < name.size() && name[i].isLowSurrogate())
        return QChar::toCaseFolded(QChar::surrogateToUcs4(c, name[i++].unicode()));
    return QChar::toCaseFolded(char32_t(c));
}

} // namespace

bool ProfileFile::IndexKey::equal(const IndexKey &a, const IndexKey &b)
{
    if (a.section != b.section || a.name.size() != b.name.size())
        return false;
    for (qsizetype i = 0, j = 0; i < a.name.size();) {
        if (a.name[i] == b.name[j]) {
            ++i;
            ++j;
        } else if (foldedAt(a.name, i) != foldedAt(b.name, j)) {
            return false;
        }
    }
    return true;
}

size_t ProfileFile::IndexKey::hash(const IndexKey &key, size_t seed)
{
    // FNV-1a over the folded characters, started from Qt's per-process seed.
    size_t h = seed ^ 0xcbf29ce484222325ULL ^ size_t(key.section);
    for (qsizetype i = 0; i < key.name.size();)
        h = (h ^ foldedAt(key.name, i)) * 0x100000001b3ULL;
    return h;
}

void ProfileFile::indexFirst(int section, const QString &kept, int index)
{
    // The key views the characters of `kept`, a name stored in m_sections: they stay where
    // they are when the vectors grow (a QString moves its pointer, not its characters), and
    // names are never changed. The first of a name wins, as with the platform's functions.
    const qsizetype before = m_index.size();
    int &slot = m_index[IndexKey{section, trimmedView(kept)}];
    if (m_index.size() != before)
        slot = index;
}

int ProfileFile::addSection(const QString &name, int lineNumber)
{
    const int index = int(m_sections.size());
    m_lastSectionFound = -1;
    m_sections.push_back({name, lineNumber, {}});
    m_bodies.emplace_back();
    indexFirst(-1, m_sections.back().name, index);
    return index;
}

void ProfileFile::appendLine(QStringView text, int lineNumber)
{
    qsizetype first = 0;
    while (first < text.size() && isBlank(text[first]))
        ++first;
    const QStringView trimmed = text.mid(first);
    if (trimmed.startsWith(u'[')) {
        const qsizetype close = trimmed.indexOf(u']');
        if (close > 0) {
            addSection(trimmed.mid(1, close - 1).toString(), lineNumber);
            return;
        }
    }
    if (m_sections.empty()) {
        m_preamble.append(text.toString());
        return;
    }
    const qsizetype equals = text.indexOf(u'=');
    if (equals >= 0 && !trimmed.startsWith(u';')) {
        Section &section = m_sections.back();
        const int entry = int(section.entries.size());
        section.entries.push_back({text.left(equals).toString(), text.mid(equals + 1).toString(), lineNumber});
        indexFirst(int(m_sections.size()) - 1, section.entries.back().key, entry);
        m_bodies.back().push_back({entry, {}});
        return;
    }
    m_bodies.back().push_back({-1, text.toString()});
}

int ProfileFile::sectionIndex(QStringView name) const
{
    return m_index.value(IndexKey{-1, trimmedView(name)}, -1);
}

int ProfileFile::entryIndex(int section, QStringView key) const
{
    return m_index.value(IndexKey{section, trimmedView(key)}, -1);
}

const ProfileFile::Entry *ProfileFile::find(const QString &section, const QString &key) const
{
    if (m_lastSectionFound < 0 || section != m_lastSectionAsked) {
        m_lastSectionAsked = section;
        m_lastSectionFound = sectionIndex(section);
    }
    const int s = m_lastSectionFound;
    if (s < 0)
        return nullptr;
    const int e = entryIndex(s, key);
    return e < 0 ? nullptr : &m_sections[size_t(s)].entries[size_t(e)];
}

bool ProfileFile::hasSection(const QString &section) const
{
    return sectionIndex(section) >= 0;
}

bool ProfileFile::hasKey(const QString &section, const QString &key) const
{
    return find(section, key) != nullptr;
}

QString ProfileFile::readString(const QString &section, const QString &key, const QString &def) const
{
    const Entry *entry = find(section, key);
    // A line break inside a value (a lone CR) reads as the blank a save would write, so
    // that a value read and written back reads the same again.
    return entry ? trimBlanks(oneLine(entry->value)) : def;
}

int ProfileFile::readInteger(const QString &section, const QString &key, int def) const
{
    const Entry *entry = find(section, key);
    int value = 0;
    if (entry && parseInteger(entry->value, &value))
        return value;
    return def;
}

bool ProfileFile::readBool(const QString &section, const QString &key, bool def) const
{
    return readInteger(section, key, def ? 1 : 0) != 0;
}

void ProfileFile::writeString(const QString &section, const QString &key, const QString &value)
{
    const QString flat = oneLine(value);
    int s = sectionIndex(section);
    if (s < 0) {
        // A new section stands at the end, after an empty line unless it is the first.
        const QString *last = nullptr;
        if (!m_bodies.empty() && !m_bodies.back().empty() && m_bodies.back().back().entry < 0)
            last = &m_bodies.back().back().raw;
        else if (m_sections.empty() && !m_preamble.isEmpty())
            last = &m_preamble.last();
        const bool endsWithBlank = last && trimBlanks(*last).isEmpty();
        if (!endsWithBlank) {
            if (!m_sections.empty())
                m_bodies.back().push_back({-1, {}});
            else if (!m_preamble.isEmpty())
                m_preamble.append(QString());
        }
        s = addSection(section, 0);
    }
    Section &sec = m_sections[size_t(s)];
    const int existing = entryIndex(s, key);
    if (existing >= 0) {
        sec.entries[size_t(existing)].value = flat;
        return;
    }

    // A new key follows the section's last entry, ahead of the blank lines that close it.
    std::vector<BodyLine> &body = m_bodies[size_t(s)];
    auto at = body.end();
    while (at != body.begin() && (at - 1)->entry < 0 && trimBlanks((at - 1)->raw).isEmpty())
        --at;
    const int entry = int(sec.entries.size());
    sec.entries.push_back({key, flat, 0});
    indexFirst(s, sec.entries.back().key, entry);
    body.insert(at, {entry, {}});
}

void ProfileFile::writeInteger(const QString &section, const QString &key, int value)
{
    writeString(section, key, QString::number(value));
}

void ProfileFile::writeBool(const QString &section, const QString &key, bool value)
{
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

QByteArray ProfileFile::toBytes(bool *lossy) const
{
    static const QString crlf = QStringLiteral("\r\n");
    QString text;
    for (const QString &line : m_preamble)
        text += line + crlf;
    for (size_t s = 0; s < m_sections.size(); ++s) {
        const Section &section = m_sections[s];
        text += u'[' + section.name + u']' + crlf;
        for (const BodyLine &line : m_bodies[s]) {
            if (line.entry < 0) {
                text += line.raw;
            } else {
                const Entry &entry = section.entries[size_t(line.entry)];
                text += entry.key + u'=' + entry.value;
            }
            text += crlf;
        }
    }
    const QByteArray encoded = encodeWindows1252(text, lossy);
    return m_byteOrderMark ? ByteOrderMark + encoded : encoded;
}

ProfileFile::SaveResult ProfileFile::save(const QString &path) const
{
    SaveResult result;
    if (unreadable()) {
        result.error = QStringLiteral("le fichier d'origine n'a pas pu être lu (%1) et n'est pas remplacé").arg(m_readError);
        return result;
    }
    const QByteArray bytes = toBytes(&result.lossy);
    result.ok = writeFileAtomically(path, bytes, &result.error);
    return result;
}

} // namespace zelvar
