// Form layer: multipart decoding into form entries. (Minimal until the full
// decoder lands: no entries.)
#include "cgi/cgic.h"

int cgiDecodeMultipartBody() { return cgiParseSuccess; }
int cgiFormFileName(const char*, char* result, int max) {
  if (result && max > 0) result[0] = '\0';
  return cgiFormNotFound;
}
const char* cgiFormEntryTempFile(const char*) { return nullptr; }
void cgiFreeFormEntries() {}
