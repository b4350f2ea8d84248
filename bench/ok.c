/* The floor of the load benchmark: a CGI program that only answers "OK". */
#include <stdio.h>

int main(void) {
  fputs("Content-type: text/plain\r\n\r\nOK", stdout);
  return 0;
}
