// The form entry list shared by the multipart decoder, the form operations
// and the capture file. Private to the request layer.
#pragma once
#include <cstdio>
#include <string>

// One decoded part, in body order.
struct FormEntry {
  std::string name;          // the part's "name" parameter
  std::string value;         // an ordinary field's bytes; "" for a file part
  int value_length = 0;      // bytes of the value, or of the temporary file
  std::string file_name;     // "filename" as the client sent it; "" for fields
  std::string content_type;  // the part's Content-Type; "" when absent
  std::string temp_file;     // "<root>/tmp/cgicXXXXXX"; "" for fields
  FormEntry* next = nullptr;
};

// Head of the list (null when empty).
FormEntry* cgiFormEntryList();
// Appends an entry; the list takes ownership.
void cgiAppendFormEntry(FormEntry* entry);
// First entry with the given name, or null.
FormEntry* cgiFindFormEntry(const char* name);

// Creates an empty temporary file "/tmp/cgicXXXXXX" (under NVR_ROOT) with
// mode 0600 and opens it for binary writing. Fills path; null on failure
// (nothing is left behind then).
FILE* cgiCreateTempFile(std::string* path);
