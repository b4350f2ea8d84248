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
extern int cgiContentLength;  // 0 when CONTENT_LENGTH is absent or not a number
extern bool cgiContentLengthGiven;  // CONTENT_LENGTH was a decimal number
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

// ---- Upload table -------------------------------------------------------------
// Only the names of the upload table decode a multipart body, and only one
// whose CONTENT_LENGTH is within the name's limit (a larger one is answered
// "Status: 413 Payload Too Large" before anything is read).
constexpr long long CGI_UPLOAD_FIRMWARE_MAX = 256LL << 20;  // firmware images
constexpr long long CGI_UPLOAD_FILE_MAX = 16LL << 20;       // certificates, configuration, audio, OEM
// File parts one multipart body may create; a body with more is refused.
constexpr int CGI_UPLOAD_PARTS_MAX = 8;
// The body limit of a name that takes an uploaded file; 0 for every other.
long long cgiUploadLimit(const char* name);
// Adds a name for a program that registers handlers of its own on top of
// the modules' (the test probe); false when the name is too long or the
// room for extra names is used up.
bool cgiAddUploadName(const char* name, long long limit);
// True for a base name an uploaded file may take in /tmp: one that passes
// the shared check of names in /tmp (core/tmp_file.h: no hidden files, none
// of the system's own) and is no "cgic" temporary file of another upload.
bool cgiUploadBaseNameAllowed(const char* base);
// Text after "param:" up to the next '&' or the end, at most 255 chars.
// Returns false when the query holds no "param:".
bool cgiQueryParamAfter(const char* query, char* out, size_t size);
// Replace every occurrence of find in src by repl, writing to dst (the caller
// guarantees room).
char* strrpl(char* dst, const char* src, const char* find, const char* repl);

// ---- Files of this request and the body deadline ------------------------------
// The request's files in /tmp (part files, the moved upload) sit in a fixed
// table, so that SIGTERM, SIGINT, SIGHUP, SIGPIPE and the body deadline
// remove them as well as the release step does. Only the file a slot
// recorded (same device and inode) is ever removed.
bool cgiTrackFile(const char* path);        // false when the table is full
void cgiUntrackFile(const char* path);      // forgets it, the file stays
void cgiRemoveTrackedFile(const char* path);
void cgiRemoveTrackedFiles();               // async-signal-safe
void cgiInstallSignalCleanup();
// A body that stops arriving for the idle bound (NVR_BODY_IDLE_MS, else 30
// seconds) ends the request with nothing written and exit code 255, its
// files removed. Progress re-arms the bound; Stop disarms it.
constexpr long kBodyIdleMsDefault = 30000;
constexpr long kBodyIdleMsMax = 600000;
constexpr long kBodyProgressBytes = 64 * 1024;  // progress is reported this often
void cgiBodyDeadlineStart();
void cgiBodyProgress();
void cgiBodyDeadlineStop();

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

enum cgiEnvironmentResultType {
  cgiEnvironmentIO = 0,
  cgiEnvironmentMemory = 1,
  cgiEnvironmentSuccess = 2,
  cgiEnvironmentWrongVersion = 3,
};

// Form operations. Each looks at the first entry with the given name unless
// it says otherwise; output texts are always terminated when max >= 1.
// Results are cgiFormResultType values.
int cgiFormString(const char* name, char* result, int max);
int cgiFormStringNoNewlines(const char* name, char* result, int max);
int cgiFormStringSpaceNeeded(const char* name, int* length);
// New null-ended array (release with cgiStringArrayFree) of the values of
// every entry with the name.
int cgiFormStringMultiple(const char* name, char*** result);
int cgiFormInteger(const char* name, int* result, int default_value);
int cgiFormIntegerBounded(const char* name, int* result, int min, int max, int default_value);
int cgiFormDouble(const char* name, double* result, double default_value);
int cgiFormDoubleBounded(const char* name, double* result, double min, double max,
                         double default_value);
int cgiFormSelectSingle(const char* name, const char** choices, int choices_total, int* result,
                        int default_value);
int cgiFormRadio(const char* name, const char** choices, int choices_total, int* result,
                 int default_value);
// flags[i] = 1 for each choice some entry with the name equals; *invalid
// counts entries matching no choice.
int cgiFormSelectMultiple(const char* name, const char** choices, int choices_total, int* flags,
                          int* invalid);
int cgiFormCheckboxMultiple(const char* name, const char** choices, int choices_total, int* flags,
                            int* invalid);
int cgiFormCheckboxSingle(const char* name);
int cgiFormFileContentType(const char* name, char* result, int max);
int cgiFormFileSize(const char* name, int* size);

struct cgiFileStruct;
using cgiFilePtr = cgiFileStruct*;
int cgiFormFileOpen(const char* name, cgiFilePtr* file);
int cgiFormFileRead(cgiFilePtr file, char* buffer, int size, int* got);
int cgiFormFileClose(cgiFilePtr file);

// New null-ended array of the distinct entry names, first occurrence first.
int cgiFormEntries(char*** result);
void cgiStringArrayFree(char** array);

// Cookies (from cgiCookie).
int cgiCookieString(const char* name, char* result, int max);
// The whole value of the first cookie of this name (a view into cgiCookie),
// whatever its length: cgiFormSuccess or cgiFormNotFound.
int cgiCookieText(const char* name, std::string_view* result);
int cgiCookieInteger(const char* name, int* result, int default_value);
int cgiCookies(char*** result);

// Header writers (to cgiOut). CR and LF in the texts are dropped so that a
// value can never start a header of its own.
void cgiHeaderCookieSetString(const char* name, const char* value, int seconds_to_live,
                              const char* path, const char* domain);
void cgiHeaderCookieSetInteger(const char* name, int value, int seconds_to_live, const char* path,
                               const char* domain);
void cgiHeaderLocation(const char* url);
void cgiHeaderStatus(int status, const char* message);
void cgiHeaderContentType(const char* mime_type);

// Escape writers (to cgiOut): 0, or cgiFormIO on a write error.
int cgiHtmlEscapeData(const char* data, int len);
int cgiHtmlEscape(const char* text);
int cgiValueEscapeData(const char* data, int len);
int cgiValueEscape(const char* text);

// Capture file: the whole request (environment, entries, uploaded files).
// Results are cgiEnvironmentResultType values.
int cgiWriteEnvironment(const char* filename);
int cgiReadEnvironment(const char* filename);
