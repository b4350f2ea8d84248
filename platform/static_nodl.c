/* Linked only into the statically linked CGI program, which never loads
   shared objects. SQLite's extension loader refers to the dynamic loader;
   the link redirects that reference here (--wrap=dlopen), so the program
   does not carry a loader call that cannot work in a static program (and
   that the linker warns about). */
#include <stddef.h>

void* __wrap_dlopen(const char* file, int mode) {
  (void)file;
  (void)mode;
  return NULL;
}
