/* A host in the original ABI, for the Windows build: a 32-bit C program that
   loads the plug-in and the document store as the host does (LoadLibraryA,
   GetProcAddress by undecorated name) and calls every entry point through
   standard-call pointers, ExecuteMenu with a 16-byte VARIANT by value.
   Arguments laid out otherwise than the callee reads them would send its
   out-parameters to the wrong place, so each call's out-parameter must come
   back written; a callee that pops a different number of bytes would leave
   the stack pointer moved, which each call checks.

     host_abi_check     exit code 0 when every check holds */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <oleauto.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

static int failures = 0;

static void Check(int holds, const char* what) {
  if (!holds) {
    ++failures;
    printf("FAILED: %s\n", what);
  } else {
    printf("ok: %s\n", what);
  }
}

/* The stack pointer between statements: the same before and after a call
   when caller and callee agree on who pops the arguments. */
#define STACK_POINTER(variable) __asm__ volatile("movl %%esp, %0" : "=r"(variable))

typedef HRESULT(__stdcall* InitViewDataFn)(const char*, VARIANT*, int32_t*);
typedef HRESULT(__stdcall* InitRightMenuFn)(const char*, int32_t, void*, int32_t*);
typedef HRESULT(__stdcall* ExecuteMenuFn)(const char*, VARIANT, const char*, int32_t*);

typedef HRESULT(__stdcall* InitLabDocFn)(const char*, int32_t*);
typedef HRESULT(__stdcall* FreeLabDocFn)(void);
typedef HRESULT(__stdcall* GetLabDocFn)(int32_t, char**, uint8_t*);
typedef HRESULT(__stdcall* SaveLabDocFn)(const char*, int32_t*, uint8_t*);
typedef HRESULT(__stdcall* DelLabDocFn)(int32_t, uint8_t*);
typedef HRESULT(__stdcall* UpdateLabDocFn)(int32_t, const char*, uint8_t*);
typedef HRESULT(__stdcall* OpenLabDocFn)(int32_t, uint8_t*);
typedef HRESULT(__stdcall* CheckLabDocFn)(int32_t, const char*, uint8_t*);

/* Resolves a name; the decorated standard-call name must not be exported. */
static FARPROC Resolve(HMODULE module, const char* name, int argument_bytes) {
  char decorated[64];
  char what[128];
  FARPROC proc = GetProcAddress(module, name);
  snprintf(what, sizeof what, "%s is exported undecorated", name);
  Check(proc != NULL, what);
  snprintf(decorated, sizeof decorated, "%s@%d", name, argument_bytes);
  snprintf(what, sizeof what, "%s is not exported", decorated);
  Check(GetProcAddress(module, decorated) == NULL, what);
  return proc;
}

static void CheckPlugin(void) {
  HMODULE plugin = LoadLibraryA("labdocs.dll");
  Check(plugin != NULL, "LoadLibraryA(\"labdocs.dll\")");
  if (plugin == NULL) return;
  InitViewDataFn init_view_data = (InitViewDataFn)(void (*)(void))Resolve(plugin, "InitViewData", 12);
  InitRightMenuFn init_right_menu = (InitRightMenuFn)(void (*)(void))Resolve(plugin, "InitRightMenu", 16);
  ExecuteMenuFn execute_menu = (ExecuteMenuFn)(void (*)(void))Resolve(plugin, "ExecuteMenu", 28);
  if (init_view_data == NULL || init_right_menu == NULL || execute_menu == NULL) return;

  /* No database session: each call fails as the plug-in reports failures,
     with its result written (1 until the work stores its own). */
  int32_t result = 12345;
  VARIANT data;
  VariantInit(&data);
  uintptr_t before, after;
  STACK_POINTER(before);
  HRESULT status = init_view_data("TV_ID=1", &data, &result);
  STACK_POINTER(after);
  Check(after == before, "InitViewData leaves the stack as it found it");
  Check(result != 12345, "InitViewData writes its result");
  Check(status == S_OK || FAILED(status), "InitViewData answers a status");
  VariantClear(&data);

  result = 12345;
  status = init_right_menu("TV_ID=1", 1, NULL, &result);
  Check(result != 12345, "InitRightMenu writes its result");
  Check(status == S_OK || FAILED(status), "InitRightMenu answers a status");

  result = 12345;
  VARIANT selection;
  VariantInit(&selection);
  selection.vt = VT_I4;
  selection.lVal = 7;
  STACK_POINTER(before);
  status = execute_menu("TV_ID=1", selection, "miNothing", &result);
  STACK_POINTER(after);
  Check(after == before, "ExecuteMenu leaves the stack as it found it");
  Check(result != 12345, "ExecuteMenu, its VARIANT by value, writes its result");
  Check(status == S_OK || FAILED(status), "ExecuteMenu answers a status");
  Check(FreeLibrary(plugin) != FALSE, "FreeLibrary(labdocs.dll)");
}

static void CheckStore(void) {
  HMODULE store = LoadLibraryA("LAB_DOC.dll");
  Check(store != NULL, "LoadLibraryA(\"LAB_DOC.dll\")");
  if (store == NULL) return;
  InitLabDocFn init = (InitLabDocFn)(void (*)(void))Resolve(store, "InitLabDoc", 8);
  FreeLabDocFn free_store = (FreeLabDocFn)(void (*)(void))Resolve(store, "FreeLabDoc", 0);
  GetLabDocFn get = (GetLabDocFn)(void (*)(void))Resolve(store, "GetLabDoc", 12);
  SaveLabDocFn save = (SaveLabDocFn)(void (*)(void))Resolve(store, "SaveLabDoc", 12);
  DelLabDocFn del = (DelLabDocFn)(void (*)(void))Resolve(store, "DelLabDoc", 8);
  UpdateLabDocFn update = (UpdateLabDocFn)(void (*)(void))Resolve(store, "UpdateLabDoc", 12);
  OpenLabDocFn open = (OpenLabDocFn)(void (*)(void))Resolve(store, "OpenLabDoc", 8);
  CheckLabDocFn check = (CheckLabDocFn)(void (*)(void))Resolve(store, "CheckLabDoc", 12);
  if (!init || !free_store || !get || !save || !del || !update || !open || !check) return;

  /* Without a database every operation fails; each must come back through
     the standard calling convention with a failure status. */
  int32_t reserved = 0;
  uint8_t ok = 0xAA;
  char* path = NULL;
  int32_t doc_id = -1;
  uintptr_t before, after;
  STACK_POINTER(before);
  HRESULT status = init("C:\\no-such-folder\\DocCache\\", &reserved);
  STACK_POINTER(after);
  Check(after == before, "InitLabDoc leaves the stack as it found it");
  Check(status == S_OK || FAILED(status), "InitLabDoc answers a status");
  HRESULT statuses[7];
  STACK_POINTER(before);
  statuses[0] = get(1, &path, &ok);
  statuses[1] = save("C:\\no-such-file.txt", &doc_id, &ok);
  statuses[2] = del(1, &ok);
  statuses[3] = update(1, "C:\\no-such-file.txt", &ok);
  statuses[4] = open(1, &ok);
  statuses[5] = check(1, "C:\\no-such-file.txt", &ok);
  statuses[6] = free_store();
  STACK_POINTER(after);
  Check(after == before, "the store's entry points leave the stack as they found it");
  int answered = 1;
  for (int i = 0; i < 7; ++i)
    answered = answered && (statuses[i] == S_OK || statuses[i] == S_FALSE || FAILED(statuses[i]));
  Check(answered, "every entry point answers a status");
  Check(FreeLibrary(store) != FALSE, "FreeLibrary(LAB_DOC.dll)");
}

int main(void) {
  Check(sizeof(VARIANT) == 16, "a VARIANT is 16 bytes");
  CheckPlugin();
  CheckStore();
  printf("%d failed\n", failures);
  return failures == 0 ? 0 : 1;
}
