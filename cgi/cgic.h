// The request layer: the captured CGI environment, the entry paths and the
// form layer (multipart decoding, form, cookie and header operations).
#pragma once
#include <cstdio>
#include <string_view>

// ---- Captured environment --------------------------------------------------
// Each is read once at start-up; an absent variable gives "" (never null).
extern const char* cgiServerSoftware;
extern const char* cgiServerName;
extern const char* cgiGatewayInterface;
extern const char* cgiServerProtocol;
extern const char* cgiServerPort;
extern const char* cgiRequestMethod;
extern const char* cgiPathInfo;
extern const char* cgiPathTranslated;
extern const char* cgiScriptName;
extern const char* cgiQueryString;
extern const char* cgiRemoteHost;
extern const char* cgiRemoteAddr;
extern const char* cgiAuthType;
extern const char* cgiRemoteUser;
extern const char* cgiRemoteIdent;
extern const char* cgiServerAddr;
extern char* cgiContentType;  // points into cgiContentTypeData (cut at ';')
extern char cgiContentTypeData[1024];
extern const char* cgiMultipartBoundary;  // points into cgiContentTypeData
extern int cgiContentLength;
extern const char* cgiAccept;
extern const char* cgiUserAgent;
extern const char* cgiReferrer;
extern const char* cgiCookie;
extern FILE* cgiIn;
extern FILE* cgiOut;
extern bool cgiRestored;  // set when the environment came from a capture file

// Captures the environment in the fixed order, cuts the content type at its
// first ';' and takes the multipart boundary out of it.
void cgiCaptureEnvironment();

// Replaces one captured text with a copy owned by the request layer (used
// by the capture-file reader and by tests).
void cgiSetEnvText(const char** var, std::string_view value);

// Whole-text equality, letters compared without case, others exactly.
bool cgiEqualsNoCase(const char* a, const char* b);

// ---- Entry paths and release ------------------------------------------------
int cgi_main();          // the whole request: capture, choose path, release
void cgiDealGet();
void cgiDealPost();
void cgiDealUpload();
void cgiReleaseRequest();
bool cgiIsRawUploadPath(const char* name);  // "/1010", "/6082", "/2079"
// Text after "param:" up to the next '&' or the end, at most 255 chars.
// Returns false when the query holds no "param:".
bool cgiQueryParamAfter(const char* query, char* out, size_t size);
// Replace every occurrence of find in src by repl, writing to dst (the caller
// guarantees room).
char* strrpl(char* dst, const char* src, const char* find, const char* repl);

// ---- Form layer ---------------------------------------------------------------
enum cgiFormResultType {
  cgiFormSuccess = 0,
  cgiFormTruncated = 1,
  cgiFormBadType = 2,
  cgiFormEmpty = 3,
  cgiFormNotFound = 4,
  cgiFormConstrained = 5,
  cgiFormNoSuchChoice = 6,
  cgiFormMemory = 7,
  cgiFormNoFileName = 8,
  cgiFormNoContentType = 9,
  cgiFormNotAFile = 10,
  cgiFormOpenFailed = 11,
  cgiFormIO = 12,
  cgiFormEOF = 13,
};

enum cgiParseResultType { cgiParseSuccess = 0, cgiParseMemory = 1, cgiParseIO = 2 };

// Decodes the multipart body on cgiIn into form entries, file parts into
// temporary files "/tmp/cgicXXXXXX" (under NVR_ROOT). 0 on success.
int cgiDecodeMultipartBody();
// Client file name of the first entry with the given name.
int cgiFormFileName(const char* name, char* result, int max);
// Temporary file path of the first entry with the given name; null when
// there is no such entry.
const char* cgiFormEntryTempFile(const char* name);
// Release step for the entries: deletes temporary files, frees the list.
void cgiFreeFormEntries();
