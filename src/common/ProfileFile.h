#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

namespace zelvar {

// One INI ("profile") file, read and written the way the Windows profile functions do:
// names matched without regard to letter case, blanks around names and values ignored
// when reading, values never quoted, Windows-1252 and CRLF on disk. Lines the program
// does not understand are kept as they are, so editing one key leaves the rest intact.
class ProfileFile
{
public:
    struct Entry
    {
        QString key;   // as written in the file, blanks included
        QString value; // as written in the file, blanks included
        int line = 0;  // 1-based line number in the file read, 0 for an added entry
    };
    struct Section
    {
        QString name;
        int line = 0; // 1-based line of its header, 0 for an added section
        std::vector<Entry> entries;
    };

    struct SaveResult
    {
        bool ok = false;
        bool lossy = false; // a character Windows-1252 cannot hold was written as "?"
        QString error;      // why the save failed, for the user
    };

    ProfileFile() = default;

    // Reads a file; a missing or unreadable file gives an empty profile (every read takes
    // its default), as the platform's functions do. `exists` is true when it was read.
    // A file that exists but cannot be read (no permission, a folder, a pipe or a device,
    // more than 16 MB) is not a missing one: readError() then gives the reason, at once, and
    // save() refuses, since writing what was read would replace the user's file with an
    // empty one.
    static ProfileFile load(const QString &path, bool *exists = nullptr);
    static ProfileFile fromBytes(const QByteArray &bytes);

    bool unreadable() const { return !m_readError.isEmpty(); }
    QString readError() const { return m_readError; }

    QString readString(const QString &section, const QString &key, const QString &def) const;
    int readInteger(const QString &section, const QString &key, int def) const;
    bool readBool(const QString &section, const QString &key, bool def) const;
    bool hasSection(const QString &section) const;
    bool hasKey(const QString &section, const QString &key) const;

    // Sets a key: an existing key keeps its place (and its spelling in the file), a new key
    // goes after the last entry of its section, a new section at the end of the file.
    void writeString(const QString &section, const QString &key, const QString &value);
    void writeInteger(const QString &section, const QString &key, int value);
    void writeBool(const QString &section, const QString &key, bool value);

    const std::vector<Section> &sections() const { return m_sections; }

    QByteArray toBytes(bool *lossy = nullptr) const;
    // Replaces the file atomically: the old file stays whole until the new one is complete.
    // Refused for a profile whose file could not be read.
    SaveResult save(const QString &path) const;

    // The name as the lookups compare it: blanks around it dropped, letter case folded.
    static QString foldName(QStringView name);
    static void foldInto(QStringView name, QString &out);
    // Strict decimal integer with an optional minus sign; false for anything else.
    static bool parseInteger(const QString &text, int *value);

private:
    // A line below a section header: one of its entries, or a line kept as it was.
    struct BodyLine
    {
        int entry = -1; // index into the section's entries, -1 for a raw line
        QString raw;
    };

    // A name as the lookups compare it: blanks around it dropped, letter case ignored. It
    // views a name the profile keeps (or the one asked for), so that indexing copies none.
    struct IndexKey
    {
        int section = -1; // the section of an entry's key; -1 for a section's name
        QStringView name; // blanks around it dropped
        static bool equal(const IndexKey &a, const IndexKey &b);
        static size_t hash(const IndexKey &key, size_t seed); // of the case-folded name
        friend bool operator==(const IndexKey &a, const IndexKey &b) { return equal(a, b); }
        friend size_t qHash(const IndexKey &key, size_t seed) { return hash(key, seed); }
    };

    const Entry *find(const QString &section, const QString &key) const;
    int sectionIndex(QStringView name) const;
    int entryIndex(int section, QStringView key) const;
    // Indexes a name the profile now keeps, unless an earlier one of that name is indexed.
    void indexFirst(int section, const QString &kept, int index);
    void appendLine(QStringView text, int lineNumber);
    int addSection(const QString &name, int lineNumber);

    QString m_readError;    // why the file could not be read; empty when read or missing
    bool m_byteOrderMark = false; // the file read began with a UTF-8 byte-order mark
    QStringList m_preamble; // lines before the first section
    std::vector<Section> m_sections;
    std::vector<std::vector<BodyLine>> m_bodies;   // per section, its lines in file order
    // The first section of each name, and the first entry of each key in its section.
    QHash<IndexKey, int> m_index;
    // Readers ask for many keys of one section in a row: remember the last section asked for.
    mutable QString m_lastSectionAsked;
    mutable int m_lastSectionFound = -1;
};

// Windows-1252 text conversion shared by every file the program keeps.
QString decodeWindows1252(const QByteArray &bytes);
// A character the code page cannot hold becomes "?" and sets *lossy.
QByteArray encodeWindows1252(const QString &text, bool *lossy = nullptr);
// The characters of `text` the code page cannot hold, each once, in the order they come.
QStringList charactersOutsideWindows1252(QStringView text);

} // namespace zelvar
