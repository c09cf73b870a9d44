#include "platform/ExcelFile.h"

#include "platform/codepage.h"

#include <expat.h>
#include <freexl.h>
#include <xlsxwriter.h>
#include <zip.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>

namespace {

// ---------------------------------------------------------------- dates

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, long long& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp + (mp < 10 ? 3 : -9);
    y += m <= 2;
}

// Day 0 of the 1900 date system is 1899-12-30 once the day that system
// counts for 1900-02-29 (day 60, a day that never was) is left out.
constexpr long long kEpoch1900 = -25569;  // 1899-12-30
constexpr long long kEpoch1904 = -24107;  // 1904-01-01

// The day number of a "YYYY-MM-DD..." text (1900 system); false when the
// text does not start with a date.
bool SerialFromDateText(const char* text, double& serial)
{
    int y = 0, m = 0, d = 0;
    if (!text || std::sscanf(text, "%d-%d-%d", &y, &m, &d) != 3 || m < 1 || m > 12 || d < 1 || d > 31) return false;
    long long days = DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) - kEpoch1900;
    if (days < 61) days -= 1;  // before the day that never was
    serial = static_cast<double>(days);
    return true;
}

// ---------------------------------------------------------------- format codes

// Number formats that show dates or times: the built-in ones (including the
// ones East Asian versions number 27 to 36 and 50 to 58) and custom codes
// holding a date or time letter outside quoted text, escapes and brackets.
bool IsDateFormatId(int id)
{
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58);
}

bool IsDateFormatCode(const std::string& code)
{
    bool quoted = false;
    for (size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (quoted) {
            if (c == '"') quoted = false;
            continue;
        }
        switch (c) {
        case '"': quoted = true; break;
        case '\\':
        case '_':
        case '*': ++i; break;  // the next character is shown or padded, not a code
        case '[': {
            const size_t end = code.find(']', i);
            if (end == std::string::npos) return false;
            i = end;
            break;
        }
        case ';': return false;  // only the first section decides
        case 'y': case 'Y': case 'm': case 'M': case 'd': case 'D':
        case 'h': case 'H': case 's': case 'S':
            return true;
        default: break;
        }
    }
    return false;
}

// ---------------------------------------------------------------- archive entries

// Reads one entry of an archive in chunks into an expat parser: false when
// the entry is missing, does not inflate, or is not well-formed XML.
bool ParseEntry(zip_t* zip, const std::string& name, XML_Parser parser)
{
    zip_file_t* file = zip_fopen(zip, name.c_str(), 0);
    if (!file) return false;
    bool ok = true;
    char buffer[64 * 1024];
    for (;;) {
        const zip_int64_t n = zip_fread(file, buffer, sizeof buffer);
        if (n < 0) {
            ok = false;
            break;
        }
        if (XML_Parse(parser, buffer, static_cast<int>(n), n == 0) == XML_STATUS_ERROR) {
            ok = false;
            break;
        }
        if (n == 0) break;
    }
    zip_fclose(file);
    return ok;
}

// An element name without its namespace prefix.
const char* LocalName(const XML_Char* name)
{
    const char* colon = std::strrchr(name, ':');
    return colon ? colon + 1 : name;
}

const char* Attribute(const XML_Char** attrs, const char* local)
{
    for (int i = 0; attrs[i]; i += 2)
        if (std::strcmp(LocalName(attrs[i]), local) == 0) return attrs[i + 1];
    return nullptr;
}

// What every parse context has: the parser running it, so that a handler can
// stop the parse.
struct XmlContext {
    XML_Parser parser = nullptr;
};

// Runs expat over an entry with handlers given as lambdas on a context.
template <class Context>
bool ParseWith(zip_t* zip, const std::string& name, Context& ctx)
{
    XML_Parser parser = XML_ParserCreate("UTF-8");
    if (!parser) return false;
    ctx.parser = parser;
    XML_SetUserData(parser, &ctx);
    XML_SetElementHandler(
        parser,
        [](void* data, const XML_Char* el, const XML_Char** attrs) {
            static_cast<Context*>(data)->Start(LocalName(el), attrs);
        },
        [](void* data, const XML_Char* el) { static_cast<Context*>(data)->End(LocalName(el)); });
    XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* s, int len) {
        static_cast<Context*>(data)->Text(s, len);
    });
    const bool ok = ParseEntry(zip, name, parser);
    XML_ParserFree(parser);
    return ok;
}

// xl/workbook.xml: the worksheets in order (name, relationship id) and the
// date system.
struct WorkbookXml : XmlContext {
    std::vector<std::pair<std::string, std::string>> sheets;
    bool date1904 = false;
    void Start(const char* el, const XML_Char** attrs)
    {
        if (std::strcmp(el, "sheet") == 0) {
            const char* name = Attribute(attrs, "name");
            const char* id = Attribute(attrs, "id");
            sheets.emplace_back(name ? name : "", id ? id : "");
        } else if (std::strcmp(el, "workbookPr") == 0) {
            const char* v = Attribute(attrs, "date1904");
            date1904 = v && (std::strcmp(v, "1") == 0 || std::strcmp(v, "true") == 0);
        }
    }
    void End(const char*) {}
    void Text(const char*, int) {}
};

// xl/_rels/workbook.xml.rels: relationship id to target.
struct RelsXml : XmlContext {
    std::map<std::string, std::string> targets;
    void Start(const char* el, const XML_Char** attrs)
    {
        if (std::strcmp(el, "Relationship") != 0) return;
        const char* id = Attribute(attrs, "Id");
        const char* target = Attribute(attrs, "Target");
        if (id && target) targets[id] = target;
    }
    void End(const char*) {}
    void Text(const char*, int) {}
};

// xl/sharedStrings.xml: the texts of <si> items; phonetic runs are left out.
// More items than a sheet can hold values, or more text than the limit,
// stop the reading.
struct SharedStringsXml : XmlContext {
    std::vector<std::string> strings;
    bool inItem = false, inText = false;
    int phonetic = 0;
    size_t bytes = 0;
    bool tooLarge = false;
    void Stop()
    {
        tooLarge = true;
        XML_StopParser(parser, XML_FALSE);
    }
    void Start(const char* el, const XML_Char**)
    {
        if (std::strcmp(el, "si") == 0) {
            inItem = true;
            if (strings.size() >= ExcelFile::kMaxValues) return Stop();
            strings.emplace_back();
        } else if (std::strcmp(el, "rPh") == 0) {
            ++phonetic;
        } else if (std::strcmp(el, "t") == 0) {
            inText = inItem && phonetic == 0;
        }
    }
    void End(const char* el)
    {
        if (std::strcmp(el, "si") == 0) inItem = false;
        else if (std::strcmp(el, "rPh") == 0) --phonetic;
        else if (std::strcmp(el, "t") == 0) inText = false;
    }
    void Text(const char* s, int len)
    {
        if (!inText || tooLarge) return;
        bytes += static_cast<size_t>(len);
        if (bytes > ExcelFile::kMaxTextBytes) return Stop();
        strings.back().append(s, static_cast<size_t>(len));
    }
};

// xl/styles.xml: which cell formats (<cellXfs> entries, by index) show dates.
struct StylesXml : XmlContext {
    std::set<int> customDates;  // custom number format ids with a date code
    std::vector<bool> dateXf;
    bool inCellXfs = false;
    void Start(const char* el, const XML_Char** attrs)
    {
        if (std::strcmp(el, "numFmt") == 0) {
            const char* id = Attribute(attrs, "numFmtId");
            const char* code = Attribute(attrs, "formatCode");
            if (id && code && IsDateFormatCode(code)) customDates.insert(std::atoi(id));
        } else if (std::strcmp(el, "cellXfs") == 0) {
            inCellXfs = true;
        } else if (inCellXfs && std::strcmp(el, "xf") == 0) {
            const char* id = Attribute(attrs, "numFmtId");
            const int n = id ? std::atoi(id) : 0;
            dateXf.push_back(IsDateFormatId(n) || customDates.count(n) > 0);
        }
    }
    void End(const char* el)
    {
        if (std::strcmp(el, "cellXfs") == 0) inCellXfs = false;
    }
    void Text(const char*, int) {}
};

// The column (1-based) of a reference such as "AB12"; 0 when there is none.
long ColumnOfReference(const char* ref)
{
    long col = 0;
    for (; *ref; ++ref) {
        const char c = *ref;
        if (c >= 'A' && c <= 'Z') col = col * 26 + (c - 'A' + 1);
        else if (c >= 'a' && c <= 'z') col = col * 26 + (c - 'a' + 1);
        else break;
        if (col > 16384) return 0;
    }
    return col;
}

}  // namespace

// ---------------------------------------------------------------- the open workbook

struct ExcelFile::Source {
    std::string path;
    const void* xls = nullptr;  // freexl handle
    zip_t* zip = nullptr;
    bool date1904 = false;
    bool stylesRead = false, stringsRead = false;
    std::vector<bool> dateXf;
    std::vector<std::shared_ptr<const std::string>> strings;
    size_t stringBytes = 0;

    ~Source()
    {
        if (xls) freexl_close(xls);
        if (zip) zip_discard(zip);
    }
};

namespace {

// xl/worksheets/sheetN.xml: the cells of <sheetData>.
struct SheetXml : XmlContext {
    std::map<long, std::map<long, ExcelFile::Cell>>* rows = nullptr;
    const std::vector<bool>* dateXf = nullptr;
    const std::vector<std::shared_ptr<const std::string>>* strings = nullptr;
    bool date1904 = false;
    size_t textBytes = 0;  // the workbook's shared texts, then the inline ones
    size_t values = 0;

    long row = 0, nextRow = 1, col = 0, nextCol = 1;
    std::string type;
    int style = 0;
    bool inCell = false, inValue = false, inInline = false, inText = false;
    std::string value;

    void Start(const char* el, const XML_Char** attrs)
    {
        if (std::strcmp(el, "row") == 0) {
            const char* r = Attribute(attrs, "r");
            row = r ? std::atol(r) : nextRow;
            if (row < 1 || row > 1048576) row = nextRow;
            nextRow = row + 1;
            nextCol = 1;
        } else if (std::strcmp(el, "c") == 0) {
            const char* r = Attribute(attrs, "r");
            col = r ? ColumnOfReference(r) : 0;
            if (col < 1) col = nextCol;
            nextCol = col + 1;
            const char* t = Attribute(attrs, "t");
            type = t ? t : "n";
            const char* s = Attribute(attrs, "s");
            style = s ? std::atoi(s) : 0;
            inCell = true;
            value.clear();
        } else if (inCell && std::strcmp(el, "v") == 0) {
            inValue = true;
        } else if (inCell && std::strcmp(el, "is") == 0) {
            inInline = true;
        } else if (inInline && std::strcmp(el, "t") == 0) {
            inText = true;
        }
    }

    void End(const char* el)
    {
        if (std::strcmp(el, "v") == 0) inValue = false;
        else if (std::strcmp(el, "t") == 0) inText = false;
        else if (std::strcmp(el, "is") == 0) inInline = false;
        else if (std::strcmp(el, "c") == 0) {
            inCell = false;
            Store();
        }
    }

    void Text(const char* s, int len)
    {
        if (inValue || inText) value.append(s, static_cast<size_t>(len));
    }

    // A sheet beyond the limits stops the reading.
    bool tooLarge = false;
    void Stop()
    {
        tooLarge = true;
        XML_StopParser(parser, XML_FALSE);
    }

    void Store()
    {
        if (tooLarge || row < 1 || col < 1 || col > 16384) return;
        ExcelFile::Cell cell;
        if (type == "s") {
            char* end = nullptr;
            const long index = std::strtol(value.c_str(), &end, 10);
            if (end == value.c_str() || index < 0 || static_cast<size_t>(index) >= strings->size()) return;
            cell.kind = ExcelFile::Cell::Text;
            cell.text = (*strings)[static_cast<size_t>(index)];  // shared, not copied
        } else if (type == "inlineStr" || type == "str") {
            textBytes += value.size();
            if (textBytes > ExcelFile::kMaxTextBytes) return Stop();
            cell.kind = ExcelFile::Cell::Text;
            cell.text = std::make_shared<const std::string>(value);
        } else if (type == "d") {
            if (!SerialFromDateText(value.c_str(), cell.number)) return;
            cell.kind = ExcelFile::Cell::Date;
        } else if (type == "n" || type == "b") {
            if (value.empty()) return;
            char* end = nullptr;
            cell.number = std::strtod(value.c_str(), &end);
            if (end == value.c_str() || !std::isfinite(cell.number)) return;
            const bool date =
                type == "n" && style >= 0 && static_cast<size_t>(style) < dateXf->size() && (*dateXf)[static_cast<size_t>(style)];
            if (date) {
                cell.kind = ExcelFile::Cell::Date;
                if (date1904) cell.number += 1462;  // kept as a 1900-system day number
            } else {
                cell.kind = ExcelFile::Cell::Number;
            }
        } else {
            return;  // errors ("e") and unknown kinds stay empty
        }
        if (row > ExcelFile::kMaxRows) return Stop();
        ExcelFile::Cell& slot = (*rows)[row][col];
        if (slot.kind == ExcelFile::Cell::Empty && ++values > ExcelFile::kMaxValues) return Stop();
        slot = std::move(cell);
    }
};

// The archive path of a relationship target of xl/workbook.xml.
std::string PartOfTarget(const std::string& target)
{
    if (!target.empty() && target[0] == '/') return target.substr(1);
    std::string path = "xl/" + target;
    // Resolve "../" steps.
    size_t up;
    while ((up = path.find("/../")) != std::string::npos) {
        const size_t prev = path.rfind('/', up - 1);
        path.erase(prev == std::string::npos ? 0 : prev + 1, up + 4 - (prev == std::string::npos ? 0 : prev + 1));
    }
    return path;
}

bool StartsWith(const std::string& bytes, const char* magic, size_t n)
{
    return bytes.size() >= n && std::memcmp(bytes.data(), magic, n) == 0;
}

}  // namespace

ExcelFile::ExcelFile() = default;
ExcelFile::~ExcelFile() = default;

void ExcelFile::Close()
{
    m_source.reset();
    m_sheets.clear();
    m_loaded = -1;
}

bool ExcelFile::OpenWorkbook(const CString& path)
{
    Close();
    // The kind of file is told by its first bytes.
    std::string head;
    if (FILE* f = std::fopen(path.GetString(), "rb")) {
        char bytes[8];
        const size_t n = std::fread(bytes, 1, sizeof bytes, f);
        head.assign(bytes, n);
        std::fclose(f);
    } else {
        return false;
    }
    auto source = std::make_unique<Source>();
    source->path = path.str();

    if (StartsWith(head, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) {
        if (freexl_open(path.GetString(), &source->xls) != FREEXL_OK) {
            source->xls = nullptr;
            return false;
        }
        unsigned int info = 0;
        if (freexl_get_info(source->xls, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info == FREEXL_BIFF_OBFUSCATED)
            return false;
        unsigned int count = 0;
        if (freexl_get_info(source->xls, FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK || count == 0) return false;
        for (unsigned int i = 0; i < count && i < 65535; ++i) {
            const char* name = nullptr;
            Sheet sheet;
            if (freexl_get_worksheet_name(source->xls, static_cast<unsigned short>(i), &name) == FREEXL_OK && name)
                sheet.name = name;
            m_sheets.push_back(std::move(sheet));
        }
    } else if (StartsWith(head, "PK\x03\x04", 4)) {
        int error = 0;
        source->zip = zip_open(path.GetString(), ZIP_RDONLY, &error);
        if (!source->zip) return false;
        WorkbookXml workbook;
        if (!ParseWith(source->zip, "xl/workbook.xml", workbook) || workbook.sheets.empty()) {
            m_sheets.clear();
            return false;
        }
        source->date1904 = workbook.date1904;
        RelsXml rels;
        ParseWith(source->zip, "xl/_rels/workbook.xml.rels", rels);
        for (size_t i = 0; i < workbook.sheets.size(); ++i) {
            Sheet sheet;
            sheet.name = workbook.sheets[i].first;
            auto it = rels.targets.find(workbook.sheets[i].second);
            sheet.part = it != rels.targets.end() ? PartOfTarget(it->second)
                                                  : "xl/worksheets/sheet" + std::to_string(i + 1) + ".xml";
            m_sheets.push_back(std::move(sheet));
        }
    } else {
        return false;
    }
    m_source = std::move(source);
    return true;
}

bool ExcelFile::ReadSheet(size_t index, Sheet& sheet)
{
    sheet.rows.clear();
    sheet.loaded = false;
    if (!m_source) return false;
    Source& src = *m_source;
    if (src.xls) {
        if (freexl_select_active_worksheet(src.xls, static_cast<unsigned short>(index)) != FREEXL_OK) return false;
        unsigned int rows = 0;
        unsigned short columns = 0;
        if (freexl_worksheet_dimensions(src.xls, &rows, &columns) != FREEXL_OK) return false;
        // A shared text is kept once however many cells show it (the
        // library hands out the same text for each of them).
        std::map<const char*, std::shared_ptr<const std::string>> shared;
        size_t values = 0, textBytes = 0;
        for (unsigned int r = 0; r < rows; ++r) {
            for (unsigned short c = 0; c < columns; ++c) {
                FreeXL_CellValue value;
                if (freexl_get_cell_value(src.xls, r, c, &value) != FREEXL_OK) break;
                Cell cell;
                switch (value.type) {
                case FREEXL_CELL_INT:
                    cell.kind = Cell::Integer;
                    cell.number = value.value.int_value;
                    break;
                case FREEXL_CELL_DOUBLE:
                    cell.kind = Cell::Number;
                    cell.number = value.value.double_value;
                    break;
                case FREEXL_CELL_TEXT:
                case FREEXL_CELL_SST_TEXT:
                    if (value.value.text_value) {
                        const bool sst = value.type == FREEXL_CELL_SST_TEXT;
                        const auto known = sst ? shared.find(value.value.text_value) : shared.end();
                        if (known != shared.end()) {
                            cell.text = known->second;
                        } else {
                            textBytes += std::strlen(value.value.text_value);
                            if (textBytes > kMaxTextBytes) {
                                sheet.rows.clear();
                                return false;
                            }
                            cell.text = std::make_shared<const std::string>(value.value.text_value);
                            if (sst) shared[value.value.text_value] = cell.text;
                        }
                        cell.kind = Cell::Text;
                    }
                    break;
                case FREEXL_CELL_DATE:
                case FREEXL_CELL_DATETIME:
                    if (SerialFromDateText(value.value.text_value, cell.number)) cell.kind = Cell::Date;
                    break;
                case FREEXL_CELL_TIME:
                    // A time alone is a day number below 1: the day shown is day 0.
                    cell.kind = Cell::Date;
                    cell.number = 0;
                    break;
                default:
                    break;
                }
                if (cell.kind == Cell::Empty) continue;
                if (static_cast<long>(r) >= kMaxRows || ++values > kMaxValues) {
                    sheet.rows.clear();
                    return false;
                }
                sheet.rows[static_cast<long>(r) + 1][static_cast<long>(c) + 1] = std::move(cell);
            }
        }
    } else if (src.zip) {
        if (!src.stylesRead) {
            StylesXml styles;
            ParseWith(src.zip, "xl/styles.xml", styles);  // no styles: nothing is a date
            src.dateXf = std::move(styles.dateXf);
            src.stylesRead = true;
        }
        if (!src.stringsRead) {
            SharedStringsXml strings;
            if (zip_name_locate(src.zip, "xl/sharedStrings.xml", 0) >= 0 &&
                (!ParseWith(src.zip, "xl/sharedStrings.xml", strings) || strings.tooLarge))
                return false;
            src.strings.reserve(strings.strings.size());
            for (std::string& text : strings.strings)
                src.strings.push_back(std::make_shared<const std::string>(std::move(text)));
            src.stringBytes = strings.bytes;
            src.stringsRead = true;
        }
        SheetXml parser;
        parser.rows = &sheet.rows;
        parser.dateXf = &src.dateXf;
        parser.strings = &src.strings;
        parser.date1904 = src.date1904;
        parser.textBytes = src.stringBytes;
        if (!ParseWith(src.zip, sheet.part, parser) || parser.tooLarge) {
            sheet.rows.clear();
            return false;
        }
    } else {
        return false;
    }
    sheet.loaded = true;
    return true;
}

bool ExcelFile::LoadSheet()
{
    m_loaded = -1;
    if (!m_source || m_sheets.empty()) return false;
    if (!ReadSheet(0, m_sheets[0])) return false;
    m_loaded = 0;
    return true;
}

long ExcelFile::GetRowCount() const
{
    if (m_loaded < 0) return 0;
    const auto& rows = m_sheets[static_cast<size_t>(m_loaded)].rows;
    return rows.empty() ? 0 : rows.rbegin()->first;
}

long ExcelFile::GetColumnCount() const
{
    if (m_loaded < 0) return 0;
    long n = 0;
    for (const auto& row : m_sheets[static_cast<size_t>(m_loaded)].rows)
        if (!row.second.empty()) n = std::max(n, row.second.rbegin()->first);
    return n;
}

CString ExcelFile::DateText(double serial, bool date1904)
{
    long long days = static_cast<long long>(std::floor(serial));
    if (date1904) {
        days += kEpoch1904;
    } else {
        if (days < 61) days += 1;  // before the day that never was
        days += kEpoch1900;
    }
    long long y = 0;
    unsigned m = 0, d = 0;
    CivilFromDays(days, y, m, d);
    CString text;
    text.Format("%04lld-%02u-%02u", y, m, d);
    return text;
}

CString ExcelFile::GetCellText(long row, long column, size_t maxBytes) const
{
    if (m_loaded < 0 || row < 1 || column < 1) return CString();
    const Sheet& sheet = m_sheets[static_cast<size_t>(m_loaded)];
    const auto cells = sheet.rows.find(row);
    if (cells == sheet.rows.end()) return CString();
    const auto found = cells->second.find(column);
    if (found == cells->second.end()) return CString();
    const Cell& cell = found->second;
    CString text;
    switch (cell.kind) {
    case Cell::Number:
        // Whole numbers (mobile numbers among them) are the common case:
        // their digits, as "%0.0f" writes them, without the float formatter.
        if (std::fabs(cell.number) < 9.0e15 && cell.number == std::floor(cell.number)) {
            char digits[24];
            const auto end = std::to_chars(digits, digits + sizeof digits, static_cast<long long>(cell.number)).ptr;
            text = CString(digits, static_cast<int>(end - digits));
            if (text == "0" && std::signbit(cell.number)) text = "-0";
        } else {
            text.Format("%0.0f", cell.number);
        }
        break;
    case Cell::Integer: text.Format("%d", static_cast<int>(cell.number)); break;
    case Cell::Date: text = DateText(cell.number); break;
    case Cell::Text:
        if (cell.text) {
            const std::string& whole = *cell.text;
            size_t length = whole.size();
            if (length > maxBytes) {
                length = maxBytes;
                // Back to the start of the character the cut fell into.
                while (length > 0 && (static_cast<unsigned char>(whole[length]) & 0xC0) == 0x80) --length;
            }
            const CString utf8(whole.data(), static_cast<int>(length));
            text = GetACP() == CP_UTF8 ? utf8 : Utf8ToAnsi(utf8);
        }
        break;
    case Cell::Empty: break;
    }
    return text;
}

void ExcelFile::SetCellText(long row, long column, const CString& text)
{
    if (m_loaded < 0 || row < 1 || column < 1 || row > 1048576 || column > 16384) return;
    Sheet& sheet = m_sheets[static_cast<size_t>(m_loaded)];
    if (text.IsEmpty()) {
        auto cells = sheet.rows.find(row);
        if (cells == sheet.rows.end()) return;
        cells->second.erase(column);
        if (cells->second.empty()) sheet.rows.erase(cells);
        return;
    }
    Cell& cell = sheet.rows[row][column];
    cell = Cell();
    cell.kind = Cell::Text;
    cell.text = std::make_shared<const std::string>(GetACP() == CP_UTF8 ? text.str() : AnsiToUtf8(text).str());
}

bool ExcelFile::SaveAs(const CString& path)
{
    if (!m_source || m_sheets.empty()) return false;
    // Every worksheet goes into the new workbook: read the ones not read yet.
    for (size_t i = 0; i < m_sheets.size(); ++i)
        if (!m_sheets[i].loaded && !ReadSheet(i, m_sheets[i])) return false;

    lxw_workbook_options options = {};
    options.constant_memory = LXW_FALSE;
    lxw_workbook* book = workbook_new_opt(path.GetString(), &options);
    if (!book) return false;
    lxw_format* dateFormat = workbook_add_format(book);
    format_set_num_format(dateFormat, "yyyy-mm-dd");

    std::set<std::string> used;
    bool ok = true;
    for (size_t i = 0; i < m_sheets.size() && ok; ++i) {
        const Sheet& sheet = m_sheets[i];
        // Names must be unique and valid in the new workbook.
        std::string name = sheet.name;
        if (name.empty() || workbook_validate_sheet_name(book, name.c_str()) != LXW_NO_ERROR || used.count(name))
            name = "Sheet" + std::to_string(i + 1);
        while (used.count(name)) name += "_";
        used.insert(name);
        lxw_worksheet* ws = workbook_add_worksheet(book, name.c_str());
        if (!ws) {
            ok = false;
            break;
        }
        for (auto r = sheet.rows.begin(); r != sheet.rows.end() && ok; ++r) {
            for (const auto& entry : r->second) {
                const Cell& cell = entry.second;
                const lxw_row_t row = static_cast<lxw_row_t>(r->first - 1);
                const lxw_col_t col = static_cast<lxw_col_t>(entry.first - 1);
                lxw_error err = LXW_NO_ERROR;
                switch (cell.kind) {
                case Cell::Number:
                case Cell::Integer: err = worksheet_write_number(ws, row, col, cell.number, nullptr); break;
                case Cell::Date: err = worksheet_write_number(ws, row, col, cell.number, dateFormat); break;
                case Cell::Text:
                    if (cell.text) err = worksheet_write_string(ws, row, col, cell.text->c_str(), nullptr);
                    break;
                case Cell::Empty: break;
                }
                if (err != LXW_NO_ERROR) ok = false;
            }
        }
    }
    const lxw_error closed = workbook_close(book);
    if (closed != LXW_NO_ERROR) ok = false;
    if (!ok) std::remove(path.GetString());
    return ok;
}
