#include "cgi/cgic.h"

int main() { return cgi_main(); }
