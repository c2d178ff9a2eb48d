/* A recording opener for the Windows tests of ShellExecuteA: registered in
   the test prefix as the program that opens files of the test-only type
   .labdocs-test, it appends the path it is given, in UTF-8 and on a line of
   its own, to the file that LABDOCS_TEST_OPEN_RECORD names. The path is read
   from the wide command line, so that it arrives as the shell passed it. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  const wchar_t* record = _wgetenv(L"LABDOCS_TEST_OPEN_RECORD");
  if (record == NULL || *record == L'\0') return 3;
  char path[4 * MAX_PATH];
  int n = WideCharToMultiByte(CP_UTF8, 0, argv[1], -1, path, (int)sizeof path, NULL, NULL);
  if (n <= 0) return 4;
  FILE* out = _wfopen(record, L"ab");
  if (out == NULL) return 5;
  fprintf(out, "%s\n", path);
  fclose(out);
  return 0;
}
