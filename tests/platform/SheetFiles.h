// Spreadsheet files written by the tests themselves.
//
// WriteXls writes a BIFF8 workbook (the `.xls` format) by hand: a compound
// file holding one "Workbook" stream with the workbook globals (code page,
// date system, two cell formats: general and the built-in date format 14,
// the shared strings) and one worksheet per sheet given. WriteXlsx writes an
// `.xlsx` workbook with libxlsxwriter. WriteHandMadeXlsx writes the XML of
// an `.xlsx` workbook as given, for files no spreadsheet program would
// write. Texts are UTF-8.
#pragma once

#include <xlsxwriter.h>
#include <zip.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace sheetfiles {

struct Value {
    enum Kind { Empty, Text, Number, Date } kind = Empty;
    std::string text;
    double number = 0;
    int y = 0, m = 0, d = 0;

    Value() = default;
    // An empty text is an empty cell, as spreadsheet programs store it.
    Value(const char* t) : kind(*t ? Text : Empty), text(t) {}
    Value(const std::string& t) : kind(t.empty() ? Empty : Text), text(t) {}
    Value(double n) : kind(Number), number(n) {}
    static Value DateOf(int y, int m, int d)
    {
        Value v;
        v.kind = Date;
        v.y = y;
        v.m = m;
        v.d = d;
        return v;
    }
};
using Rows = std::vector<std::vector<Value>>;

struct SheetData {
    std::string name;
    Rows rows;
};

// The 1900-system day number of a date (after 1900-02-28).
inline double Serial(int y, int m, int d)
{
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days1970 = era * 146097 + static_cast<long>(doe) - 719468;
    return static_cast<double>(days1970 + 25569);
}

// ---------------------------------------------------------------- .xls

namespace detail {

inline std::u16string Utf16(const std::string& s)
{
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        char32_t cp;
        int n;
        if (c < 0x80) { cp = c; n = 1; }
        else if ((c >> 5) == 6) { cp = c & 0x1F; n = 2; }
        else if ((c >> 4) == 14) { cp = c & 0x0F; n = 3; }
        else { cp = c & 0x07; n = 4; }
        for (int k = 1; k < n && i + static_cast<size_t>(k) < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + static_cast<size_t>(k)]) & 0x3F);
        i += static_cast<size_t>(n);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

struct Bytes {
    std::string b;
    void u8(unsigned v) { b += static_cast<char>(v & 0xFF); }
    void u16(unsigned v) { u8(v); u8(v >> 8); }
    void u32(uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); }
    void f64(double v)
    {
        char raw[8];
        std::memcpy(raw, &v, 8);
        b.append(raw, 8);
    }
    void str16(const std::u16string& s)
    {
        for (char16_t c : s) u16(c);
    }
};

inline void Record(Bytes& out, unsigned type, const std::string& data)
{
    out.u16(type);
    out.u16(static_cast<unsigned>(data.size()));
    out.b += data;
}

inline std::string Bof(unsigned kind)
{
    Bytes r;
    r.u16(0x0600);
    r.u16(kind);
    r.u16(0x0DBB);
    r.u16(0x07CC);
    r.u32(0);
    r.u32(0x06);
    return r.b;
}

inline std::string Xf(unsigned format, bool style)
{
    Bytes r;
    r.u16(0);       // font
    r.u16(format);  // number format
    r.u16(style ? 0xFFF5 : 0x0001);
    r.u16(0x0020);
    r.u16(0);
    r.u16(0);
    r.u32(0);
    r.u32(0);
    r.u16(0x20C0);
    return r.b;
}

// The workbook stream of the sheets; strings go to the shared-string table.
inline std::string WorkbookStream(const std::vector<SheetData>& sheets)
{
    std::vector<std::u16string> sst;
    std::map<std::string, uint32_t> index;
    uint32_t total = 0;
    for (const SheetData& s : sheets)
        for (const auto& row : s.rows)
            for (const Value& v : row)
                if (v.kind == Value::Text) {
                    ++total;
                    if (!index.count(v.text)) {
                        index[v.text] = static_cast<uint32_t>(sst.size());
                        sst.push_back(Utf16(v.text));
                    }
                }

    Bytes globals;
    Record(globals, 0x0809, Bof(0x0005));
    { Bytes r; r.u16(1200); Record(globals, 0x0042, r.b); }  // code page: UTF-16
    { Bytes r; r.u16(0); Record(globals, 0x0022, r.b); }     // 1900 date system
    {
        Bytes font;  // one font, Arial 10
        font.u16(200); font.u16(0); font.u16(0x7FFF); font.u16(400); font.u16(0);
        font.u8(0); font.u8(0); font.u8(0); font.u8(0);
        font.u8(5); font.u8(1); font.str16(u"Arial");
        for (int i = 0; i < 5; ++i) Record(globals, 0x0031, font.b);
    }
    for (int i = 0; i < 15; ++i) Record(globals, 0x00E0, Xf(0, true));
    Record(globals, 0x00E0, Xf(0, false));   // 15: general cells
    Record(globals, 0x00E0, Xf(14, false));  // 16: date cells
    // Padding so that the stream exceeds the compound file's small-stream
    // size (4096 bytes) and lives in ordinary sectors.
    for (int i = 0; i < 40; ++i) Record(globals, 0x005C, std::string(112, ' '));

    // Shared strings: 8224 bytes of data per record at most; a string that
    // does not fit starts the next CONTINUE record.
    {
        std::vector<std::string> parts(1);
        Bytes head;
        head.u32(total);
        head.u32(static_cast<uint32_t>(sst.size()));
        parts[0] = head.b;
        for (const std::u16string& s : sst) {
            Bytes e;
            e.u16(static_cast<unsigned>(s.size()));
            e.u8(0x01);
            e.str16(s);
            if (parts.back().size() + e.b.size() > 8224) parts.emplace_back();
            parts.back() += e.b;
        }
        Record(globals, 0x00FC, parts[0]);
        for (size_t i = 1; i < parts.size(); ++i) Record(globals, 0x003C, parts[i]);
    }
    // Sheet entries: their offsets are patched once the sheets are placed.
    std::vector<size_t> offsetAt;
    for (const SheetData& s : sheets) {
        Bytes r;
        offsetAt.push_back(globals.b.size() + 4);
        r.u32(0);
        r.u8(0);
        r.u8(0);
        const std::u16string name = Utf16(s.name);
        r.u8(static_cast<unsigned>(name.size()));
        r.u8(1);
        r.str16(name);
        Record(globals, 0x0085, r.b);
    }
    Record(globals, 0x000A, "");

    Bytes stream = globals;
    for (size_t si = 0; si < sheets.size(); ++si) {
        const uint32_t at = static_cast<uint32_t>(stream.b.size());
        for (int k = 0; k < 4; ++k) stream.b[offsetAt[si] + static_cast<size_t>(k)] = static_cast<char>((at >> (8 * k)) & 0xFF);
        const Rows& rows = sheets[si].rows;
        Record(stream, 0x0809, Bof(0x0010));
        size_t cols = 0;
        for (const auto& row : rows) cols = std::max(cols, row.size());
        {
            Bytes r;
            r.u32(0);
            r.u32(static_cast<uint32_t>(rows.size()));
            r.u16(0);
            r.u16(static_cast<unsigned>(cols));
            r.u16(0);
            Record(stream, 0x0200, r.b);
        }
        for (size_t ri = 0; ri < rows.size(); ++ri)
            for (size_t ci = 0; ci < rows[ri].size(); ++ci) {
                const Value& v = rows[ri][ci];
                Bytes r;
                r.u16(static_cast<unsigned>(ri));
                r.u16(static_cast<unsigned>(ci));
                if (v.kind == Value::Text) {
                    r.u16(15);
                    r.u32(index[v.text]);
                    Record(stream, 0x00FD, r.b);
                } else if (v.kind == Value::Number) {
                    r.u16(15);
                    r.f64(v.number);
                    Record(stream, 0x0203, r.b);
                } else if (v.kind == Value::Date) {
                    r.u16(16);
                    r.f64(Serial(v.y, v.m, v.d));
                    Record(stream, 0x0203, r.b);
                }
            }
        Record(stream, 0x000A, "");
    }
    return stream.b;
}

}  // namespace detail

// The bytes of the compound file: the stream's sectors, one directory
// sector, then the allocation table's sectors.
inline std::string XlsBytes(const std::vector<SheetData>& sheets)
{
    using detail::Bytes;
    std::string stream = detail::WorkbookStream(sheets);
    const uint32_t size = static_cast<uint32_t>(stream.size());
    const uint32_t streamSectors = (size + 511) / 512;
    stream.resize(streamSectors * 512, '\0');
    uint32_t fatSectors = 1;
    while ((streamSectors + 1 + fatSectors) > fatSectors * 128) ++fatSectors;
    const uint32_t dirSector = streamSectors;
    const uint32_t fatStart = streamSectors + 1;
    const uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kFat = 0xFFFFFFFD;

    Bytes header;
    header.b = std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    header.b += std::string(16, '\0');
    header.u16(0x003E);
    header.u16(0x0003);
    header.u16(0xFFFE);
    header.u16(9);
    header.u16(6);
    header.b += std::string(6, '\0');
    header.u32(0);
    header.u32(fatSectors);
    header.u32(dirSector);
    header.u32(0);
    header.u32(4096);
    header.u32(kEnd);
    header.u32(0);
    header.u32(kEnd);
    header.u32(0);
    for (uint32_t i = 0; i < 109; ++i) header.u32(i < fatSectors ? fatStart + i : kFree);

    Bytes dir;
    auto entry = [&](const std::u16string& name, unsigned type, uint32_t child, uint32_t start, uint32_t length) {
        Bytes e;
        e.str16(name);
        e.u16(0);
        e.b.resize(64, '\0');
        e.u16(static_cast<unsigned>((name.size() + 1) * 2));
        e.u8(type);
        e.u8(1);
        e.u32(kFree);
        e.u32(kFree);
        e.u32(child);
        e.b += std::string(16 + 4 + 16, '\0');
        e.u32(start);
        e.u32(length);
        e.u32(0);
        dir.b += e.b;
    };
    entry(u"Root Entry", 5, 1, kEnd, 0);
    entry(u"Workbook", 2, kFree, 0, size);
    while (dir.b.size() < 512) {
        Bytes e;
        e.b.resize(64, '\0');
        e.u16(0);
        e.u8(0);
        e.u8(0);
        e.u32(kFree);
        e.u32(kFree);
        e.u32(kFree);
        e.b.resize(128, '\0');
        dir.b += e.b;
    }

    Bytes fat;
    for (uint32_t i = 0; i < streamSectors; ++i) fat.u32(i + 1 < streamSectors ? i + 1 : kEnd);
    fat.u32(kEnd);  // directory
    for (uint32_t i = 0; i < fatSectors; ++i) fat.u32(kFat);
    while (fat.b.size() < fatSectors * 512) fat.u32(kFree);

    return header.b + stream + dir.b + fat.b;
}

inline bool WriteXls(const std::string& path, const std::vector<SheetData>& sheets)
{
    std::ofstream out(path, std::ios::binary);
    out << XlsBytes(sheets);
    return static_cast<bool>(out);
}

inline bool WriteXls(const std::string& path, const Rows& rows, const std::string& sheetName = "Sheet1")
{
    return WriteXls(path, std::vector<SheetData>{{sheetName, rows}});
}

// ---------------------------------------------------------------- .xlsx

inline bool WriteXlsx(const std::string& path, const std::vector<SheetData>& sheets)
{
    lxw_workbook* book = workbook_new(path.c_str());
    if (!book) return false;
    lxw_format* date = workbook_add_format(book);
    format_set_num_format(date, "yyyy/m/d");
    for (const SheetData& s : sheets) {
        lxw_worksheet* ws = workbook_add_worksheet(book, s.name.c_str());
        for (size_t r = 0; r < s.rows.size(); ++r)
            for (size_t c = 0; c < s.rows[r].size(); ++c) {
                const Value& v = s.rows[r][c];
                const auto row = static_cast<lxw_row_t>(r);
                const auto col = static_cast<lxw_col_t>(c);
                if (v.kind == Value::Text) worksheet_write_string(ws, row, col, v.text.c_str(), nullptr);
                else if (v.kind == Value::Number) worksheet_write_number(ws, row, col, v.number, nullptr);
                else if (v.kind == Value::Date) worksheet_write_number(ws, row, col, Serial(v.y, v.m, v.d), date);
            }
    }
    return workbook_close(book) == LXW_NO_ERROR;
}

inline bool WriteXlsx(const std::string& path, const Rows& rows, const std::string& sheetName = "Sheet1")
{
    return WriteXlsx(path, std::vector<SheetData>{{sheetName, rows}});
}

// An `.xlsx` archive of one worksheet whose <sheetData> holds `cells` (rows
// and cells as XML), with the shared strings' <si> items `shared` when given.
inline bool WriteHandMadeXlsx(const std::string& path, const std::string& cells, const std::string& shared = "")
{
    const std::string ns = "xmlns='http://schemas.openxmlformats.org/spreadsheetml/2006/main'";
    const std::string sheet = "<worksheet " + ns + "><sheetData>" + cells + "</sheetData></worksheet>";
    const std::string strings = "<sst " + ns + ">" + shared + "</sst>";
    const std::string workbook =
        "<workbook " + ns + " xmlns:r='http://schemas.openxmlformats.org/officeDocument/2006/relationships'>"
        "<sheets><sheet name='S' sheetId='1' r:id='rId1'/></sheets></workbook>";
    const std::string rels =
        "<Relationships xmlns='http://schemas.openxmlformats.org/package/2006/relationships'>"
        "<Relationship Id='rId1' Target='worksheets/sheet1.xml'/></Relationships>";
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip) return false;
    std::vector<std::pair<const char*, const std::string*>> entries{
        {"xl/workbook.xml", &workbook}, {"xl/_rels/workbook.xml.rels", &rels}, {"xl/worksheets/sheet1.xml", &sheet}};
    if (!shared.empty()) entries.push_back({"xl/sharedStrings.xml", &strings});
    bool ok = true;
    for (const auto& entry : entries) {
        zip_source_t* src = zip_source_buffer(zip, entry.second->data(), entry.second->size(), 0);
        if (!src || zip_file_add(zip, entry.first, src, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(src);
            ok = false;
        }
    }
    if (zip_close(zip) != 0) {
        zip_discard(zip);
        return false;
    }
    return ok;
}

// Rows 1 to `rows`, each with one number in the sheet's last column (XFD).
inline std::string FarApartCells(int rows, int firstRow = 1)
{
    std::string cells;
    for (int r = firstRow; r < firstRow + rows; ++r)
        cells += "<row r='" + std::to_string(r) + "'><c r='XFD" + std::to_string(r) + "'><v>1</v></c></row>";
    return cells;
}

}  // namespace sheetfiles
