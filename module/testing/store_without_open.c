/* A document store that lacks one entry point, OpenLabDoc: a form must not
   bind it. Its other entry points count their calls. Of the four of
   revisions it has three, as a store of the version before
   UpdateExpectingLabDoc: they count as none. */
#include <stdint.h>

/* The store's calling convention, from the build: the standard one on
   32-bit Windows. */
#ifndef STORE_CALL
#define STORE_CALL
#endif

/* clang-format off */
int32_t STORE_CALL InitLabDoc(const char* cache_dir, int32_t* reserved) { (void)cache_dir; (void)reserved; return 0; }
int32_t STORE_CALL FreeLabDoc(void) { return 0; }
int32_t STORE_CALL GetLabDoc(int32_t id, char** path, uint8_t* ok) { (void)id; (void)path; *ok = 1; return 0; }
int32_t STORE_CALL SaveLabDoc(const char* file, int32_t* id, uint8_t* ok) { (void)file; *id = 1; *ok = 1; return 0; }
int32_t STORE_CALL DelLabDoc(int32_t id, uint8_t* ok) { (void)id; *ok = 1; return 0; }
int32_t STORE_CALL UpdateLabDoc(int32_t id, const char* file, uint8_t* ok) { (void)id; (void)file; *ok = 1; return 0; }
int32_t STORE_CALL BeginReviseLabDoc(int32_t id, char* notice, uint8_t* others) { (void)id; *notice = 0; *others = 0; return 0; }
int32_t STORE_CALL EndReviseLabDoc(int32_t id) { (void)id; return 0; }
int32_t STORE_CALL StoredMeanwhileLabDoc(int32_t id, const char* path, char* notice, uint8_t* stored) {
  (void)id; (void)path; *notice = 0; *stored = 0; return 0;
}
/* clang-format on */
