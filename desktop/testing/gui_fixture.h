// What the desktop host's window tests share: a fresh home folder per test
// beside the programs, the host started on it (the labdocs-desktop.exe
// beside the tests, or the one LABDOCS_TEST_DESKTOP names), the home's
// database read directly (texts in UTF-8, as SQLite holds them), and
// pictures of windows.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "desktop/testing/window_driver.h"

namespace desktop::testing {

std::string Utf8(const std::wstring& text);

class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // More of the host's options for a test (a command line's text).
  virtual std::wstring HostOptions() const { return {}; }

  DesktopProcess& Host() { return *host_; }
  const std::filesystem::path& Home() const { return home_; }
  // The rows of a query on the home's database, each cell as UTF-8 text.
  std::vector<std::vector<std::string>> Query(const std::string& sql) const;
  std::string Scalar(const std::string& sql) const;
  // The current content the document store holds for a file name (UTF-8).
  std::string StoredContent(const std::string& file_name) const;
  // Saves a picture of a window, with its frame, as FOLDER/name.bmp when
  // the environment variable LABDOCS_SCREENSHOTS names a folder.
  void Screenshot(HWND window, const std::string& name) const;
  // The files that the recording opener was given to open (the stage
  // registers it for the demo's text documents).
  std::vector<std::filesystem::path> OpenedFiles() const;
  // Writes a file of the test's own.
  std::filesystem::path MakeFile(const std::wstring& name, const std::string& bytes) const;

 private:
  std::filesystem::path home_;
  std::filesystem::path open_record_;
  std::unique_ptr<DesktopProcess> host_;
};

}  // namespace desktop::testing
