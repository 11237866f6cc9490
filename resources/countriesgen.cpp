// Build-time generator of the country table: reads the text source
// countries.txt and writes the SQLite file countries.db that the store
// library embeds as :res/countries.db.
//
// usage: countriesgen <countries.txt> <countries.db>
//
// The output is written to "<countries.db>.tmp" and renamed, so a failed run
// leaves no half-written table behind. Any malformed line stops the build
// with its line number.
#include <sqlite3.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// The CREATE statements use CR LF inside their text, as the table always has.
const char* const kSchema =
    "CREATE TABLE countries (\r\n"
    "  sn CHAR(2) PRIMARY KEY,\r\n"
    "  ln TEXT,\r\n"
    "  pnum TEXT,\r\n"
    "  mmc TEXT,\r\n"
    "  numc TEXT,\r\n"
    "  u2 TEXT,\r\n"
    "  r1 TEXT,\r\n"
    "  r2 TEXT,\r\n"
    "  r3 TEXT,\r\n"
    "  r4 TEXT,\r\n"
    "  mnc_rx TEXT,\r\n"
    "  n TEXT\r\n"
    ");\r\n"
    "CREATE INDEX index_countries_pnum on countries(pnum);\r\n"
    "CREATE TABLE mmc_sn (\r\n"
    "  mmc CHAR(3) PRIMARY KEY,\r\n"
    "  sn CHAR(2)\r\n"
    ");\r\n"
    "CREATE INDEX index_mmc_sn on mmc_sn(sn);\r\n";

struct Country
{
    std::string sn, pnum, numc, mmc, intl, n, ln, r1;
    std::vector<std::string> ownMccs;
};

[[noreturn]] void fail(int line, const std::string& what)
{
    throw std::runtime_error("countries.txt:" + std::to_string(line) + ": " + what);
}

bool allOf(const std::string& s, int (*pred)(int))
{
    for (unsigned char c : s)
        if (!pred(c))
            return false;
    return !s.empty();
}

std::vector<std::string> split(const std::string& s, char sep, size_t maxParts)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (parts.size() + 1 < maxParts) {
        const size_t at = s.find(sep, start);
        if (at == std::string::npos)
            break;
        parts.push_back(s.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(s.substr(start));
    return parts;
}

bool isNumberList(const std::string& s)
{
    for (const std::string& piece : split(s, ',', std::string::npos))
        if (!allOf(piece, isdigit))
            return false;
    return true;
}

Country parseLine(const std::string& text, int line)
{
    const std::vector<std::string> f = split(text, '|', 8);
    if (f.size() != 8)
        fail(line, "expected 8 fields separated by '|'");
    Country c{f[0], f[1], f[2], std::string(), f[4], f[5], f[6], f[7], {}};
    if (c.sn.size() != 2 || !allOf(c.sn, isupper))
        fail(line, "sn must be two upper-case letters");
    if (!allOf(c.pnum, isdigit) || !isNumberList(c.numc) || !allOf(c.intl, isdigit))
        fail(line, "pnum, numc and intl must be digits");
    if (c.n.empty() || c.ln.empty())
        fail(line, "names must not be empty");
    std::string column;
    for (std::string code : split(f[3], ',', std::string::npos)) {
        const bool borrowed = !code.empty() && code[0] == '*';
        if (borrowed)
            code.erase(0, 1);
        if (code.size() != 3 || !allOf(code, isdigit))
            fail(line, "mobile country codes must be three digits");
        column += (column.empty() ? "" : ",") + code;
        if (!borrowed)
            c.ownMccs.push_back(code);
    }
    c.mmc = column;
    return c;
}

std::vector<Country> readSource(const char* path)
{
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error(std::string("cannot read ") + path);
    std::vector<Country> countries;
    std::set<std::string> codes;
    std::string text;
    for (int line = 1; std::getline(in, text); ++line) {
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        if (text.empty() || text[0] == '#')
            continue;
        countries.push_back(parseLine(text, line));
        if (!codes.insert(countries.back().sn).second)
            fail(line, "duplicate country " + countries.back().sn);
    }
    return countries;
}

class Db
{
public:
    explicit Db(const std::string& path)
    {
        if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot create " + path);
    }
    ~Db() { sqlite3_close_v2(m_db); }

    void exec(const char* sql)
    {
        char* err = nullptr;
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
            const std::string message = err ? err : "?";
            sqlite3_free(err);
            throw std::runtime_error(message);
        }
    }

    void insert(const char* sql, const std::vector<std::string>& values)
    {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(m_db));
        for (size_t i = 0; i < values.size(); ++i)
            sqlite3_bind_text(st, int(i + 1), values[i].c_str(), int(values[i].size()), SQLITE_TRANSIENT);
        const int rc = sqlite3_step(st);
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE)
            throw std::runtime_error(sqlite3_errmsg(m_db));
    }

private:
    sqlite3* m_db = nullptr;
};

void writeTable(const std::vector<Country>& countries, const std::string& path)
{
    std::remove(path.c_str());
    Db db(path);
    db.exec("PRAGMA encoding='UTF-8';");
    db.exec(kSchema);
    db.exec("BEGIN;");
    std::map<std::string, std::string> owners;
    for (const Country& c : countries) {
        db.insert("insert into countries(sn, ln, pnum, mmc, numc, u2, r1, r2, r3, r4, mnc_rx, n) "
                  "values(?,?,?,?,?,'',?,'','','',?,?)",
                  {c.sn, c.ln, c.pnum, c.mmc, c.numc, c.r1, c.intl, c.n});
        for (const std::string& mcc : c.ownMccs) {
            if (!owners.emplace(mcc, c.sn).second)
                throw std::runtime_error("mobile country code " + mcc + " owned by " + owners[mcc] + " and " + c.sn);
            db.insert("insert into mmc_sn(mmc, sn) values(?,?)", {mcc, c.sn});
        }
    }
    db.exec("COMMIT;");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <countries.txt> <countries.db>\n", argv[0]);
        return 2;
    }
    try {
        const std::vector<Country> countries = readSource(argv[1]);
        const std::string tmp = std::string(argv[2]) + ".tmp";
        writeTable(countries, tmp);
        if (std::rename(tmp.c_str(), argv[2]) != 0)
            throw std::runtime_error(std::string("cannot rename to ") + argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "countriesgen: %s\n", e.what());
        return 1;
    }
    return 0;
}
