/* A document store with the seven entry points every store has, and two of
   the three of the history (RestoreVersionLabDoc is missing): they count as
   none, and the view offers no history. */
#include <stdint.h>

/* The store's calling convention, from the build: the standard one on
   32-bit Windows. */
#ifndef STORE_CALL
#define STORE_CALL
#endif

/* clang-format off */
int32_t STORE_CALL InitLabDoc(const char* cache_dir, int32_t* reserved) { (void)cache_dir; *reserved = 1; return 0; }
int32_t STORE_CALL FreeLabDoc(void) { return 0; }
int32_t STORE_CALL GetLabDoc(int32_t id, char** path, uint8_t* ok) { (void)id; (void)path; *ok = 0; return 0; }
int32_t STORE_CALL SaveLabDoc(const char* file, int32_t* id, uint8_t* ok) { (void)file; *id = 0; *ok = 0; return 0; }
int32_t STORE_CALL DelLabDoc(int32_t id, uint8_t* ok) { (void)id; *ok = 0; return 0; }
int32_t STORE_CALL UpdateLabDoc(int32_t id, const char* file, uint8_t* ok) { (void)id; (void)file; *ok = 0; return 0; }
int32_t STORE_CALL OpenLabDoc(int32_t id, uint8_t* ok) { (void)id; *ok = 0; return 0; }
int32_t STORE_CALL ListVersionsLabDoc(int32_t id, char* buffer, int32_t size, int32_t* needed, uint8_t* ok) {
  (void)id; (void)buffer; (void)size; *needed = 0; *ok = 0; return 0;
}
int32_t STORE_CALL GetVersionLabDoc(int32_t id, int64_t content, char* path, int32_t size, uint8_t* ok) {
  (void)id; (void)content; (void)path; (void)size; *ok = 0; return 0;
}
/* clang-format on */
