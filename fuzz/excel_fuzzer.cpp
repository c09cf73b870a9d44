// Member sheets (.xls and .xlsx), as the member import reads a file a person
// picked, which anyone may have made. The first byte chooses what the rest is:
//   even: the file itself;
//   odd:  the parts of an .xlsx, split at zero bytes: the first worksheet,
//         the shared strings, the styles and the workbook (a plain one when
//         it is missing), packed into an archive here, so that the fuzzer
//         works on the XML the reader parses rather than on compressed bytes.
// The sheet is loaded and its first three columns read, row by row, as the
// import does, with the sheet's last column.
// The run's memory limit (-rss_limit_mb, set by tools/fuzz) catches a small
// file that makes the reader take huge amounts of memory.
#include "platform/ExcelFile.h"

#include <zip.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string g_dir;

const char kContentTypes[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Override PartName=\"/xl/workbook.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
    "</Types>";
const char kWorkbook[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
    "<sheets><sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
const char kRels[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
    "Target=\"worksheets/sheet1.xml\"/></Relationships>";

bool AddEntry(zip_t* zip, const char* name, const std::string& bytes)
{
    // libzip takes (and frees) only a buffer that holds bytes: an empty
    // entry is given none.
    void* copy = nullptr;
    if (!bytes.empty()) {
        copy = malloc(bytes.size());
        if (!copy) return false;
        memcpy(copy, bytes.data(), bytes.size());
    }
    zip_source_t* source = zip_source_buffer(zip, copy, bytes.size(), copy != nullptr);
    if (!source) {
        free(copy);
        return false;
    }
    const zip_int64_t index = zip_file_add(zip, name, source, ZIP_FL_OVERWRITE);
    if (index < 0) {
        zip_source_free(source);
        return false;
    }
    zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    return true;
}

bool WriteArchive(const std::string& path, const std::vector<std::string>& parts)
{
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip) return false;
    auto part = [&](size_t i) { return i < parts.size() ? parts[i] : std::string(); };
    bool ok = AddEntry(zip, "[Content_Types].xml", kContentTypes) &&
              AddEntry(zip, "xl/_rels/workbook.xml.rels", kRels) &&
              AddEntry(zip, "xl/worksheets/sheet1.xml", part(0)) &&
              AddEntry(zip, "xl/workbook.xml", part(3).empty() ? std::string(kWorkbook) : part(3));
    if (ok && parts.size() > 1 && !parts[1].empty()) ok = AddEntry(zip, "xl/sharedStrings.xml", parts[1]);
    if (ok && parts.size() > 2 && !parts[2].empty()) ok = AddEntry(zip, "xl/styles.xml", parts[2]);
    if (!ok) {
        zip_discard(zip);
        return false;
    }
    return zip_close(zip) == 0;
}

bool WriteFile(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = fwrite(data, 1, size, f) == size;
    return fclose(f) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/lum-fuzz-sheet-XXXXXX";
    if (!mkdtemp(&pattern[0])) abort();
    g_dir = pattern;
    atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(g_dir, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const std::string path = g_dir + "/sheet";
    if ((data[0] & 1) == 0) {
        if (!WriteFile(path, data + 1, size - 1)) return 0;
    } else {
        std::vector<std::string> parts(1);
        for (size_t i = 1; i < size; ++i) {
            if (data[i] == 0)
                parts.emplace_back();
            else
                parts.back() += static_cast<char>(data[i]);
        }
        if (!WriteArchive(path, parts)) return 0;
    }
    ExcelFile file;
    if (file.OpenWorkbook(CString(path.c_str())) && file.LoadSheet()) {
        const long rows = file.GetRowCount(), columns = file.GetColumnCount();
        size_t total = 0;
        for (long r = 1; r <= rows; ++r) {
            for (long c = 1; c <= 3; ++c) total += static_cast<size_t>(file.GetCellText(r, c).GetLength());
            total += static_cast<size_t>(file.GetCellText(r, columns).GetLength());
        }
        (void)total;
    }
    file.Close();
    unlink(path.c_str());
    return 0;
}
