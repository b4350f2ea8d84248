// System administration: login and session, language texts, users and
// permissions. Request table whose first name is "/1000".
//
// This file holds the module's one table and its reply dispatcher; the
// handlers live in the page files beside it.
#include "handlers/system/system.h"
#include "handlers/modules.h"

using namespace sysadmin;

// ---- Reply dispatcher ---------------------------------------------------------------------
void on_system_ipc_callback(void*, void* header, void* payload) {
  if (!payload || !header) return;
  const uint32_t length = cgi_reply_length(header);
  switch (cgi_reply_type(header)) {
    case REPLY_MAIL_LOGIN:
      on_user_login_from_mail_cb(payload, length);
      break;
    case REPLY_POE_CAMERA_PASSWORD:
      on_modify_poe_camera_pwd_cb(payload, length);
      break;
    default:
      break;
  }
}

// ---- Request table ------------------------------------------------------------------------
namespace {
const WebRes kSystemTable[] = {
    {"/1000", on_user_login},
    {"/1001", on_change_language},
    {"/1014", on_user_logout},
    {"/1018", on_user_login_from_mail},
    {"/json", on_get_language_page},
    {"/6070", on_get_user_list},
    {"/6071", on_add_new_user},
    {"/6072", on_set_user_info},
    {"/6073", on_del_user_info},
    {"/6074", on_get_oem_user_list},
    {"/6075", on_modify_poe_camera_pwd},
    {"/6076", on_send_account_notice},
    {"/6077", on_cgi_set_user_info},
    {"/1024", on_clear_permission_update},
};
}  // namespace

NVR_DEFINE_MODULE(system, kSystemTable)

