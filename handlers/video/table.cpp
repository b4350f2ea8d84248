// Video and event settings: motion detection with its area, schedules and
// linked actions, copies to other channels, the live motion map, the PTZ
// action rows shared by every event kind and the copy of alarm-input
// triggers; smart event analytics with their actions and camera forms; OSD
// and privacy masks; licence plate recognition; fisheye modes and regional
// people counting. The
// module's reply dispatcher serves every event page.
// Request table whose first name is "/6000".
//
// This file holds the module's one table and its reply dispatcher; the
// handlers live in the page files beside it.
#include "handlers/video/video.h"
#include "handlers/modules.h"

using namespace video;

namespace {

// ---- Reply table of the event pages ---------------------------------------------------

using ReplyWriter = void (*)(int count, const void* payload);

struct VideoReplyRow {
  int type;
  size_t rec_size;
  ReplyWriter writer;  // null: the page that sends this request is not built
};

// Every reply the event pages wait for, with its record size.
const VideoReplyRow kVideoReplies[] = {
    {6207, 228, on_get_ipc_anpr_wildcards_cb},   {6208, 4, on_status_text_json_page_cb},  {6209, 628, on_get_ipc_vca_line2_cb},
    {6210, 4, on_status_text_cb},  {6211, 356, on_get_ipc_vca_settings2_cb},    {6212, 4, on_status_text_json_page_cb},
    {6215, 12, on_get_ipc_zoom_state_cb},    {6220, 26912, on_cgi_get_ipc_regional_info_cb},        {6221, 4, on_status_res_cb},
    {7502, sizeof(CameraMaskRecord), on_get_privacy_mask_ovf_cb},  {7503, 4, on_get_ipc_model_type_cb},            {8206, sizeof(MotionMapRecord), on_get_motion_map_cb},
    {8210, 4, on_set_osdconfig_cb},     {8211, sizeof(OsdConfigRecord), on_get_osdconfig_cb},          {8213, 92, on_get_camera_io_cb},
    {8215, 112, on_get_volume_detect_cb},   {8231, 4, on_status_text_json_page_cb},  {8232, 20, on_get_fisheye_info_cb},
    {8237, 4480, on_get_vca_region_cb},  {8238, 4480, on_get_vca_region_exit_cb},         {8239, 4480, on_get_vca_motion_cb},
    {8240, 4480, on_get_vca_tamper_cb},  {8241, 612, on_get_vca_line_cb},          {8242, 4480, on_get_vca_loitering_cb},
    {8243, 4480, on_get_vca_human_cb},  {8244, 4, on_status_text_cb},  {8245, 4, on_status_text_cb},
    {8246, 4, on_status_text_cb},  {8247, 4, on_status_text_cb},  {8248, 4, on_status_text_cb},
    {8249, 4, on_status_text_cb},  {8250, 4, on_status_text_cb},  {8253, 26536, on_get_vca_people_cb},
    {8254, 4, on_status_text_cb},  {8257, 44, on_get_vca_support_cb},    {8258, 4, on_status_text_cb},
    {8259, 64, on_get_vca_settings_cb},    {8260, 4, on_status_text_json_page_cb},  {8261, 4, on_status_text_json_page_cb},
    {8268, 4468, on_get_vca_leftremove_cb},  {8269, 4, on_status_text_json_page_cb},  {8289, 5496, on_get_anpr_settings_cb},
    {8290, 4, on_status_text_json_page_cb},  {8293, 12, on_get_anpr_support_cb},    {8353, 4, on_status_res_cb},
    {8373, 20, on_cgi_check_fisheye_info_cb},    {8374, 4, on_status_res_cb},
};

}  // namespace

// A reply without a whole record (empty or short) still goes to its writer
// with a count of 0: the writer answers the error reply at once, so the
// handler does not wait out its limit.
void on_video_ipc_callback(void*, void* header, void* payload) {
  if (!header || g_callback_done.load() != 0) return;
  const int type = cgi_reply_type(header);
  for (const VideoReplyRow& row : kVideoReplies) {
    if (row.type != type) continue;
    if (row.writer) row.writer(payload ? cgi_reply_count(header, row.rec_size) : 0, payload);
    return;
  }
}

namespace {
const WebRes kVideoTable[] = {
    {"/6010", on_get_movedetect_info},
    {"/6011", OnGetMotionSchedule},
    {"/6012", on_set_movedetect_info},
    {"/6013", OnSetMotionSchedule},
    {"/6098", on_get_motion_map},
    {"/6112", on_set_motion_batch},
    {"/6113", on_set_motion_with_schedule},
    {"/6114", on_set_motion_triggers},
    {"/6117", on_set_move_action},
    {"/6118", on_set_move_email_sche},
    {"/6119", on_set_move_others},
    {"/6120", on_get_move_email_sche},
    {"/6127", on_set_alarm_others},
    {"/6152", on_set_move_effective_sche},
    {"/6153", on_get_move_effective_sche},
    {"/6158", on_get_move_ptz_sche},
    {"/6159", on_set_move_ptz_sche},
    {"/6160", on_set_ptz_params},
    {"/6161", on_get_ptz_params},
    {"/6162", on_delete_ptz_params},
    {"/6163", on_update_ptz_params},
    {"/6164", on_delete_ptz_params_batch},
    {"/6132", on_get_vca_region},
    {"/6133", on_set_vca_region},
    {"/6134", on_get_vca_motion},
    {"/6135", on_set_vca_motion},
    {"/6136", on_get_vca_tamper},
    {"/6137", on_set_vca_tamper},
    {"/6138", on_get_vca_line},
    {"/6139", on_set_vca_line},
    {"/6140", on_get_vca_loitering},
    {"/6141", on_set_vca_loitering},
    {"/6142", on_get_vca_human},
    {"/6143", on_set_vca_human},
    {"/6144", on_get_vca_people},
    {"/6145", on_set_vca_people},
    {"/6146", on_get_vca_settings},
    {"/6147", on_set_vca_settings},
    {"/6148", on_get_smart_event_schedule},
    {"/6149", on_set_smart_event_schedule},
    {"/6150", on_set_vca_allrtm_others},
    {"/6151", on_get_vca_common_para},
    {"/6154", on_vca_clear_people_count},
    {"/6157", on_get_vca_support},
    {"/6171", on_set_vca_leftremove},
    {"/6172", on_get_vca_leftremove},
    {"/6192", on_get_ipc_vca_line2},
    {"/6193", on_set_ipc_vca_line2},
    {"/6194", on_get_ipc_vca_settings2},
    {"/6195", on_set_ipc_vca_settings2},
    {"/6000", on_get_osd_info},
    {"/6001", on_set_osd_info},
    {"/6002", OnSetOSDName},
    {"/6018", on_get_privacy_masks},
    {"/6019", on_set_privacy_mask},
    {"/6115", on_get_privacy_mask_ovf},
    {"/6116", on_get_ipc_model_type},
    {"/6173", on_delete_privacy_mask},
    {"/6198", on_cgi_set_privacy_edit},
    {"/6996", on_set_osdconfig},
    {"/6997", on_get_osdconfig},
    {"/6179", on_get_anpr_mode_params},
    {"/6180", on_set_anpr_mode_params},
    {"/6181", on_get_anpr_settings},
    {"/6182", on_set_anpr_settings},
    {"/6183", on_set_anpr_del_lpr_plate},
    {"/6184", on_set_anpr_add_lpr_plate},
    {"/6185", on_set_anpr_update_lpr_plate},
    {"/6186", on_get_anpr_support_anpr},
    {"/6189", on_get_ipc_zoom_state},
    {"/6190", on_get_ipc_anpr_wildcards},
    {"/6191", on_set_ipc_anpr_wildcards},
    {"/6014", on_get_videolost_info},
    {"/6015", on_get_videolost_schedule},
    {"/6016", on_set_videolost_info},
    {"/6017", on_set_videolost_schedule},
    {"/6094", on_get_videoloss_info},
    {"/6095", on_set_videoloss_info},
    {"/6121", on_set_videolost_audible_sche},
    {"/6122", on_set_videolost_email_sche},
    {"/6123", on_set_videolost_others},
    {"/6124", on_get_videolost_email_sche},
    {"/6165", on_set_videoloss_ptz_sche},
    {"/6166", on_get_videoloss_ptz_sche},
    {"/6125", on_set_alarmin_audible_sche},
    {"/6126", on_set_alarmin_email_sche},
    {"/6128", on_get_alarmin_email_sche},
    {"/6129", on_get_alarmin_audible_sche},
    {"/6167", on_set_alarmin_ptz_sche},
    {"/6168", on_get_alarmin_ptz_sche},
    {"/6169", on_get_alarmin_effective_sche},
    {"/6170", on_set_alarmin_effective_sche},
    {"/6998", on_set_exception},
    {"/6999", on_get_exception},
    {"/6090", on_get_camera_io},
    {"/6091", on_set_camera_io},
    {"/6092", on_get_volume_detect},
    {"/6093", on_set_volume_detect},
    {"/6174", on_get_snapshot_schedule},
    {"/6175", on_set_snapshot_schedule},
    {"/6176", on_get_snapshot_setting_params},
    {"/6177", on_set_snapshot_setting_params},
    {"/6178", on_set_snapshot_batch_setting},
    {"/6130", on_get_fisheye_info},
    {"/6131", on_cgi_set_fisheye_mode},
    {"/6196", on_cgi_check_fisheye_info},
    {"/6197", on_cgi_set_fisheye_info},
    {"/6096", on_cgi_get_ipc_regional_info},
    {"/6097", on_cgi_set_ipc_regional_info},
};
}  // namespace

NVR_DEFINE_MODULE(video, kVideoTable)

