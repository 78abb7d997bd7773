// Stand-ins for the package library, one shared library per behaviour chosen
// at compile time (FAKE_*). The counting one serves a small in-memory rule set
// and counts what the loader does with it; the test reads the counts through
// FakePackholdState.
#include "FakePackhold.h"

#include <map>
#include <string>
#include <vector>

#include "Packhold.h"
#include "format/RulePackage.h"

#if !defined(_WIN32)
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#else
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#endif

namespace {
FakeState g_state;
}

FAKE_EXPORT FakeState* FakePackholdState() { return &g_state; }

#if defined(FAKE_COUNTING)

namespace {

using namespace chatsieve;

struct Cell {
    int type;  // 0 int, 1 int[], 2 text, 3 bytes
    std::vector<int> ints;
    std::string text;
};

class Row : public IPackholdRow {
public:
    std::map<std::string, Cell> cells;
    const char* GetString(const char* column) override {
        auto it = cells.find(column);
        return it != cells.end() && it->second.type == 2 ? it->second.text.c_str() : nullptr;
    }
    int GetInt(const char* column, int* value, int) override {
        auto it = cells.find(column);
        if (it == cells.end() || it->second.type != 0) return 0;
        *value = it->second.ints[0];
        return 1;
    }
    int GetIntArray(const char* column, int* values, int) override {
        auto it = cells.find(column);
        if (it == cells.end() || it->second.type != 1) return 0;
        for (std::size_t i = 0; i < it->second.ints.size(); ++i) values[i] = it->second.ints[i];
        return static_cast<int>(it->second.ints.size());
    }
    int GetBytes(const char* column, unsigned char* bytes, int) override {
        auto it = cells.find(column);
        if (it == cells.end() || it->second.type != 3) return 0;
        for (std::size_t i = 0; i < it->second.ints.size(); ++i)
            bytes[i] = static_cast<unsigned char>(it->second.ints[i]);
        return static_cast<int>(it->second.ints.size());
    }
};

class Table : public IPackholdTable {
public:
    std::vector<Row> rows;
    int GetRowCount() override {
        if (g_state.scenario == kThrowsInRowCount) throw 42;
        return static_cast<int>(rows.size());
    }
    IPackholdRow* GetRow(int index) override {
        if (g_state.scenario == kMissingRow) return nullptr;
        return &rows[static_cast<std::size_t>(index)];
    }
};

class File : public IPackholdFile, public IPackholdTableSet {
public:
    explicit File(File** owner) : tables(4), m_owner(owner) {
        Row skip;
        skip.cells[kCodeColumn] = {1, {0x20, 0x20, -1}, {}};
        skip.cells[kLogColumn] = {0, {1}, {}};
        tables[kIgnoreTable].rows.push_back(skip);
        for (const char* pinyin : {"wai", "gua"}) {
            Row syllable;
            if (g_state.scenario != kMissingPinyin) syllable.cells[kPinyinColumn] = {2, {}, pinyin};
            syllable.cells[kCodeColumn] = {3, {0xB0, 0xA1, 0xA1}, {}};
            tables[kSyllableTable].rows.push_back(syllable);
        }
        Row phrase;
        phrase.cells[kLevelColumn] = {0, {4}, {}};
        phrase.cells[kRefsColumn] = {1, {200001, 200002}, {}};
        tables[kPhraseTable].rows.push_back(phrase);
    }
    IPackholdTableSet* GetTableSet() override { return g_state.scenario == kNoTableSet ? nullptr : this; }
    void Close() override {
        ++g_state.closes;
        *m_owner = nullptr;
        delete this;
    }
    IPackholdTable* GetTable(int index) override {
        const int count = g_state.scenario == kThreeTables ? 3 : 4;
        return index >= 0 && index < count ? &tables[static_cast<std::size_t>(index)] : nullptr;
    }
    std::vector<Table> tables;
    ~File() = default;

private:
    File** m_owner;
};

class Root : public IPackhold {
public:
    IPackholdFile* OpenFile(const char* path, int, const char* key) override {
        ++g_state.opens;
        g_state.lastPath = path;
        g_state.lastKey = key;
        if (g_state.scenario == kNoFile) return nullptr;
        delete m_open;  // one file at a time is all the loader needs
        m_open = new File(&m_open);
        return m_open;
    }
    // Like a real package library, the root object frees what is still open.
    void Release() override {
        ++g_state.releases;
        delete m_open;
        delete this;
    }

private:
    File* m_open = nullptr;

protected:
    ~Root() = default;
};

}  // namespace
#endif

#if !defined(FAKE_NO_EXPORT)
FAKE_EXPORT int PACKHOLD_CALL CreatePackhold(int version, int reserved, IPackhold** root) {
    ++g_state.factoryCalls;
    g_state.version = version;
    g_state.reserved = reserved;
    g_state.rootAddress = root;
#if defined(FAKE_FACTORY_FAILS)
    return 0;
#elif defined(FAKE_NO_ROOT)
    return 1;
#elif defined(FAKE_THROWS_TEXT)
    throw "Packhold: licence expired";
#elif defined(FAKE_THROWS_OTHER)
    throw 7;
#else
    *root = new Root();
    return 1;
#endif
}
#endif
