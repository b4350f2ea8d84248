// Files in /tmp that a request, a stored file or the core daemon names (an
// upload handed over by the front end, a registered audio file, an exported
// configuration). Every such name passes this one check before the file is
// read, sent, moved or removed: a regular file directly in nvr_path("/tmp/"),
// reached without a symbolic link, with no second hard link, and none of the
// system's own files there (the lock file, markers, hidden files).
#pragma once
#include <string>
#include <string_view>

// A bare name acceptable for a file directly in /tmp: 1..255 characters, no
// '/', no "..", no control character, not starting with '.' (so never
// ".export_down_file" or another hidden file), and not one of the system's own names
// ("cgilockfile", "pbdownload", "tmp_diagnostic", "chipinfo.txt", "oem.zip",
// "zrcore", "log"). Checks the text only; usable for a rename target.
bool tmp_file_name_ok(std::string_view name);

// The name behind "/tmp/" of a path in either form the system hands around:
// the full path (nvr_path("/tmp/") + name, as uploads arrive) or the system's
// own "/tmp/" + name (as the core daemon and stored files give it). Empty
// when the path is neither or the name fails tmp_file_name_ok. Checks the
// text only.
std::string tmp_file_name_of(std::string_view path);

// The full path of an existing file named by a path (either form above):
// 0 and *full set when the name passes and the file is a regular file that
// is no symbolic link and has one link; -1 and *full cleared otherwise.
int tmp_file_check(std::string_view path, std::string* full);
// The same for a bare name ("uploadName" of a request).
int tmp_file_check_name(std::string_view name, std::string* full);

// Opens a checked file for reading without following a link and checks the
// opened file again (it may have been swapped since the check): the
// descriptor (close it), or -1.
int tmp_file_open_read(std::string_view path);

// The file this request uploaded, as the front end received it: the part
// file it keeps, or the file it moved to the client's base name. Set only
// by the front end, after the move; "" for a request that uploaded none
// (GET, POST, or an upload that was refused). A handler that takes a file
// takes this one and never a path from its request text.
void upload_set_path(std::string_view full);
const std::string& upload_path();
// 0 and *full set when this request uploaded a file that still passes the
// check above; -1 and *full cleared otherwise.
int upload_take(std::string* full);
