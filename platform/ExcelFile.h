// ExcelFile: a spreadsheet workbook read and written directly.
//
// `.xls` workbooks are read with freexl, `.xlsx` workbooks with libzip and
// expat; the format is told by the file's first bytes, not by its name.
// Workbooks are written with libxlsxwriter, which writes `.xlsx` only, so a
// saved workbook is always an `.xlsx` file whatever the name it is given.
//
// Rows and columns count from 1. Cell texts are in the ANSI code page:
// an empty cell gives "", a number "%0.0f" (so a mobile number typed as a
// number shows as its plain digits), a date "%Y-%m-%d", a text itself.
//
// A file that is missing, not a spreadsheet or damaged makes OpenWorkbook or
// LoadSheet return false; nothing here ever ends the program.
//
// Only cells that hold something are kept, and a text used by many cells is
// kept once, so that a small file describing a large or repetitive sheet
// takes as much memory as what it holds. A sheet beyond the limits below
// (rows, values, bytes of text) is refused by LoadSheet.
#pragma once

#include "platform/CString.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class ExcelFile {
public:
    ExcelFile();
    ~ExcelFile();
    ExcelFile(const ExcelFile&) = delete;
    ExcelFile& operator=(const ExcelFile&) = delete;

    // Opens a workbook and reads its list of worksheets: false when the file
    // is missing, is no workbook, is damaged or holds no worksheet.
    bool OpenWorkbook(const CString& path);
    // Reads the first worksheet's cells: false when no workbook is open or
    // the worksheet cannot be read.
    bool LoadSheet();
    // The last row holding a value (0 for an empty sheet).
    long GetRowCount() const;
    // The last column holding a value in any row.
    long GetColumnCount() const;
    // The text of a cell (see above); "" outside the sheet. With maxBytes,
    // only a text's beginning: at most that many bytes of it as the workbook
    // keeps it (UTF-8), ending between whole characters, so that a long text
    // many cells share is not copied whole for each.
    CString GetCellText(long row, long column, size_t maxBytes = std::string::npos) const;
    // Writes a text into a cell of the loaded sheet (ignored for row or
    // column below 1 or without a loaded sheet).
    void SetCellText(long row, long column, const CString& text);
    // Writes the workbook, every worksheet with its values and the loaded
    // one with the texts set into it, as an `.xlsx` file. False when nothing
    // is open or the file cannot be written.
    bool SaveAs(const CString& path);
    // Forgets the workbook.
    void Close();

    // The date text of a spreadsheet day number (1900 date system, or 1904).
    static CString DateText(double serial, bool date1904 = false);

    // The largest sheet LoadSheet reads: rows (the older format's limit),
    // cells holding a value, and bytes of text (UTF-8) in the workbook.
    static constexpr long kMaxRows = 65536;
    static constexpr size_t kMaxValues = 1000000;
    static constexpr size_t kMaxTextBytes = 64u << 20;

    struct Cell {
        enum Kind : unsigned char { Empty, Number, Integer, Date, Text };
        Kind kind = Empty;
        double number = 0;  // Number, Integer; Date: the day number
        // Text: UTF-8, shared by every cell showing the same shared text.
        std::shared_ptr<const std::string> text;
    };
    struct Sheet {
        std::string name;  // UTF-8
        std::string part;  // .xlsx: the worksheet's entry in the archive
        // The cells holding something, by row and then column (from 1).
        std::map<long, std::map<long, Cell>> rows;
        bool loaded = false;
    };

private:
    bool ReadSheet(size_t index, Sheet& sheet);

    struct Source;
    std::unique_ptr<Source> m_source;
    std::vector<Sheet> m_sheets;
    int m_loaded = -1;  // index of the loaded worksheet
};
