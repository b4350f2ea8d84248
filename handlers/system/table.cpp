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
    case 8400:
      on_get_system_info_cb(payload, length);
      break;
    case 8495:
      on_get_log_info_cb(payload, length);
      break;
    case 8494:
      on_download_logfile_cb(payload, length);
      break;
    case 8488:
      on_get_log_details_cb(payload, length);
      break;
    case 8528:
      on_export_diagnosis_cb(payload, length);
      break;
    case 9012:
      on_get_audio_file_list_cb(payload, length);
      break;
    case 9013:
    case 9014:
    case 9015:
    case 9016:
      on_audio_status_cb(payload, length);
      break;
    // camera firmware and online upgrade
    case 6713:
      on_upgrade_result_cb(payload, length);
      break;
    case 6715:
      on_check_nvr_online_upgrade_cb(payload, length);
      break;
    case 6716:
      on_get_online_upgrade_cb(payload, length);
      break;
    case 6717:
      on_del_online_upgrade_cb(payload, length);
      break;
    case 8350:
      on_start_upgrade_camera_cb(payload, length);
      break;
    case 8365:
      on_check_ipc_online_upgrade_cb(payload, length);
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
    // maintenance
    {"/1004", on_restart_device},
    {"/1005", on_get_restart_state},
    {"/1006", on_restore_device},
    {"/1007", on_export_config},
    {"/1008", on_import_config},
    {"/1009", on_get_system_info},
    {"/1020", on_get_system_info},
    {"/1010", on_upgrade_system},
    {"/1011", on_clean_upgrade_files},
    {"/1012", on_set_system_info},
    {"/1013", on_download_config},
    {"/1016", on_get_auto_maintenance},
    {"/1017", on_set_auto_maintenance},
    {"/1019", on_upload_placeholder},
    {"/1023", on_clear_fs_dbup},
    {"/1032", on_get_auto_reboot},
    {"/1033", on_set_auto_reboot},
    {"/1034", on_cgi_upgrade_system_init},
    {"/6080", on_get_general_info},
    {"/6081", on_set_general_info},
    // UPnP port mapping
    {"/1030", on_get_upnp_info},
    {"/1031", on_set_upnp_info},
    // logs
    {"/1002", on_get_log_info},
    {"/1003", on_download_logfile},
    {"/1015", on_get_log_types},
    {"/1021", on_get_log_details},
    {"/1022", on_check_download_log},
    // factory command interface
    {"/vb.htm", on_factory_command},
    // camera firmware and online upgrade
    {"/6082", on_upgrade_camera},
    {"/6083", on_start_upgrade_camera},
    {"/6084", on_stop_upgrade_camera},
    {"/6085", on_get_online_upgrade},
    {"/6086", on_del_online_upgrade},
    {"/6087", on_check_nvr_online_upgrade},
    {"/6088", on_nvr_online_upgrade},
    {"/6089", on_check_ipc_online_upgrade},
    // access filter, diagnostics and audio files
    {"/6300", on_get_access_filter},
    {"/6301", on_set_access_filter},
    {"/6310", on_export_diagnosis},
    {"/6311", on_download_diagnosis},
    {"/6320", on_get_audio_file_list},
    {"/6321", on_upload_audio_file},
    {"/6322", on_add_audio_file},
    {"/6323", on_delete_audio_files},
    {"/6324", on_rename_audio_file},
    {"/6325", on_audio_file_command},
    {"/oem", on_upload_oem},
    {"/ipc", on_set_camera_ips},
    {"/dw.cgi", on_disabled_download},
};
}  // namespace

NVR_DEFINE_MODULE(system, kSystemTable)

