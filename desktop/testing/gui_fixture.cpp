#include "desktop/testing/gui_fixture.h"

#include <sqlite3.h>

#include <fstream>

#include "runtime/platform/wide.h"

namespace desktop::testing {
namespace {

std::filesystem::path ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
  return std::filesystem::path(path).parent_path();
}

// The desktop host under test: the one beside the tests, or the program
// that LABDOCS_TEST_DESKTOP names (an installed one).
std::wstring DesktopProgram() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetEnvironmentVariableW(L"LABDOCS_TEST_DESKTOP", path.data(), MAX_PATH));
  return path.empty() ? (ProgramFolder() / "labdocs-desktop.exe").wstring() : path;
}

}  // namespace

std::string Utf8(const std::wstring& text) { return rt::platform::Narrow(CP_UTF8, text); }

void DesktopTest::SetUp() {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::filesystem::path folder = ProgramFolder().parent_path() / "desktop-gui" / test->name();
  std::filesystem::remove_all(folder);
  home_ = folder / "home";
  std::filesystem::create_directories(home_);
  // The host, and the programs it starts, inherit the variable.
  open_record_ = folder / "opened.txt";
  SetEnvironmentVariableW(L"LABDOCS_TEST_OPEN_RECORD", open_record_.wstring().c_str());
  host_ = std::make_unique<DesktopProcess>(DesktopProgram(), home_.wstring(), HostOptions());
}

void DesktopTest::TearDown() {
  if (host_) {
    EXPECT_EQ(host_->Close(), 0u) << "the desktop host did not end cleanly";
  }
  host_.reset();
}

std::vector<std::vector<std::string>> DesktopTest::Query(const std::string& sql) const {
  sqlite3* db = nullptr;
  std::vector<std::vector<std::string>> rows;
  if (sqlite3_open_v2(Utf8((home_ / "labdocs.db").wstring()).c_str(), &db, SQLITE_OPEN_READONLY, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db);
    ADD_FAILURE() << "the home's database cannot be opened";
    return rows;
  }
  sqlite3_busy_timeout(db, 5000);
  // The contents' bytes lie in the content file beside the database, which
  // the name in DB_CONTENT_FILE gives: attached, its DB_FILE_CHUNK is found.
  sqlite3_stmt* named = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT NAME FROM DB_CONTENT_FILE", -1, &named, nullptr) == SQLITE_OK &&
      sqlite3_step(named) == SQLITE_ROW) {
    const std::string file = Utf8(home_.wstring()) + "/" + reinterpret_cast<const char*>(sqlite3_column_text(named, 0));
    sqlite3_stmt* attach = nullptr;
    if (sqlite3_prepare_v2(db, "ATTACH DATABASE ? AS content", -1, &attach, nullptr) == SQLITE_OK) {
      sqlite3_bind_text(attach, 1, file.c_str(), -1, SQLITE_TRANSIENT);
      if (sqlite3_step(attach) != SQLITE_DONE) ADD_FAILURE() << sqlite3_errmsg(db) << " attaching " << file;
    }
    sqlite3_finalize(attach);
  }
  sqlite3_finalize(named);
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sqlite3_errmsg(db) << " in " << sql;
  } else {
    while (sqlite3_step(statement) == SQLITE_ROW) {
      std::vector<std::string>& row = rows.emplace_back();
      for (int c = 0; c < sqlite3_column_count(statement); ++c) {
        const auto* text = static_cast<const char*>(sqlite3_column_blob(statement, c));
        row.emplace_back(text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, c))) : "");
      }
    }
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return rows;
}

std::string DesktopTest::Scalar(const std::string& sql) const {
  auto rows = Query(sql);
  return rows.empty() || rows[0].empty() ? std::string("(no row)") : rows[0][0];
}

std::string DesktopTest::StoredContent(const std::string& file_name) const {
  std::string content;
  for (const auto& row :
       Query("SELECT k.DATA FROM DB_FILE_CHUNK k JOIN DB_FILE_CONTENT c ON c.CONTENT_ID = k.CONTENT_ID"
             " JOIN DB_FILE_STORAGE s ON s.LABDOC_ID = c.LABDOC_ID WHERE s.FILE_NAME = '" +
             file_name + "' AND c.REPLACEDTIME IS NULL AND c.PENDING = 0 ORDER BY k.SEQ"))
    content += row[0];
  return content;
}

std::vector<std::filesystem::path> DesktopTest::OpenedFiles() const {
  std::vector<std::filesystem::path> files;
  std::ifstream record(open_record_, std::ios::binary);
  for (std::string line; std::getline(record, line);) {
    files.emplace_back(rt::platform::Widen(CP_UTF8, line));
  }
  return files;
}

std::filesystem::path DesktopTest::MakeFile(const std::wstring& name, const std::string& bytes) const {
  const std::filesystem::path path = home_.parent_path() / "files" / name;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

void DesktopTest::Screenshot(HWND window, const std::string& name) const {
  const char* folder = std::getenv("LABDOCS_SCREENSHOTS");
  if (!folder || !*folder) return;
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  host_->Settle();
  RECT place;
  GetWindowRect(window, &place);
  const int width = place.right - place.left, height = place.bottom - place.top;
  // What the screen shows there, as a person would see it.
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, place.left, place.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  std::vector<char> pixels(stride * static_cast<std::size_t>(height));
  GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
            DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
  std::ofstream out(std::filesystem::path(folder) / (name + ".bmp"), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
}

}  // namespace desktop::testing
