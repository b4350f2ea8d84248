// Camera channels and the settings relayed to the cameras.
// Request table whose first name is "/2001".
//
// Stored settings (camera record, OSD name, model table, exposure lists) go
// through the configuration store; live facts and every camera-side setting
// go through the core daemon, whose replies come back to
// on_camera_ipc_callback.
//
// This file holds the module's one table and its reply dispatcher; the
// handlers live in the page files beside it.
#include "handlers/camera/camera.h"
#include "handlers/camera/firmware.h"
#include "handlers/modules.h"

using namespace camera;

namespace {

// ================= Reply dispatch =================

using ReplyRow = CgiReplyRow;  // shorter replies than min_len get the error reply of empty_kind

const ReplyRow kReplies[] = {
    // channel management
    {8201, 0, CGI_KIND_JSON, on_get_camera_list_cb},
    {8200, 0, CGI_KIND_JSON, on_search_camera_cb},
    {8205, 4, CGI_KIND_JSON, on_set_camera_network_cb},
    {8230, 0, CGI_KIND_JSON, on_get_batch_network_result_cb},
    {8202, 4, CGI_KIND_TEXT, on_test_camera_connection_cb},
    {8227, 4, CGI_KIND_TEXT, on_test_camera_connection_cb},
    {8493, sizeof(MonthMapReply), CGI_KIND_JSON, on_get_record_month_map_cb},
    {7505, 0, CGI_KIND_JSON, on_web_get_channels_model_cb},
    // parameter relay
    {8371, sizeof(AudioInfo), CGI_KIND_JSON, on_cgi_get_ipc_audio_info_cb},
    {8372, 4, CGI_KIND_JSON, on_ok_error_cb},
    {8204, sizeof(StreamParams), CGI_KIND_JSON, on_get_stream_params_cb},
    {8203, sizeof(uint64_t), CGI_KIND_JSON, on_set_stream_params_cb},
    {8221, 4, CGI_KIND_JSON, on_get_ipc_ipcimage_enhancement_cb},
    {8223, 4, CGI_KIND_JSON, on_get_ipc_ipcimage_display_cb},
    {8224, 4, CGI_KIND_TEXT, on_ok_error_cb},
    {8225, sizeof(CommonParam), CGI_KIND_JSON, on_get_ipc_common_param_cb},
    {8226, 4, CGI_KIND_TEXT, on_ok_error_cb},
    {7503, 4, CGI_KIND_JSON, on_web_get_ipc_model_type_cb},
    {9002, QT_RESULT_TEXT_AT, CGI_KIND_JSON, on_get_qt_cmd_result_cb},
    {9004, 1, CGI_KIND_JSON, on_get_get_chip_code_cb},
    {8307, sizeof(uint64_t), CGI_KIND_JSON, on_web_get_motion_status_cb},
    {8278, sizeof(DayNightSchedule), CGI_KIND_JSON, on_get_day_night_schedule_cb},
    {8271, sizeof(RegionInfo), CGI_KIND_JSON, on_get_ipc_region_info_cb},
    {8273, sizeof(ChannelSchedule), CGI_KIND_JSON, on_get_ipc_schedule_cb},
    {8275, sizeof(ChannelExposureSchedule), CGI_KIND_JSON, on_get_ipc_exposure_schedule_cb},
    {8277, sizeof(ChannelSchedule), CGI_KIND_JSON, on_get_ipc_schedule_cb},
    {8358, sizeof(DetectionInfo), CGI_KIND_JSON, on_get_ipc_detection_cb},
    {8366, 4, CGI_KIND_JSON, on_res_word_cb},
    {8360, 1, CGI_KIND_TEXT, on_get_ipc_text_query_cb},
    {8294, sizeof(AutoTracking), CGI_KIND_JSON, on_cgi_get_auto_tracking_status_cb},
    {8375, 4, CGI_KIND_JSON, on_res_word_cb},
    {6262, 4, CGI_KIND_JSON, on_res_word_cb},
    {7507, sizeof(ChannelModelEntry), CGI_KIND_JSON, on_cgi_get_ipc_type_cb},
    {6213, sizeof(WatermarkInfo), CGI_KIND_JSON, on_cgi_get_watermark_cb},
    {6216, 4, CGI_KIND_JSON, on_res_word_cb},
    {6217, sizeof(EventStream), CGI_KIND_JSON, on_cgi_get_ipc_event_stream_cb},
    {6218, 4, CGI_KIND_JSON, on_res_word_cb},
    {6219, sizeof(LprNightMode), CGI_KIND_JSON, on_cgi_get_ipc_lpr_night_mode_cb},
    {8376, sizeof(IpcSystemInfo), CGI_KIND_JSON, on_cgi_get_ipc_system_info_cb},
    {8377, sizeof(CustomParamReply), CGI_KIND_JSON, on_cgi_get_ipc_custom_param_cb},
    // people counting, POS and face settings
    {7290, 4, CGI_KIND_JSON, on_res_word_cb},
    {7291, 4, CGI_KIND_JSON, on_res_word_cb},
    {7292, 4, CGI_KIND_JSON, on_res_word_cb},
    {7293, 4, CGI_KIND_JSON, on_res_word_cb},
    {6421, 4, CGI_KIND_JSON, on_res_word_cb},
    {6423, 4, CGI_KIND_JSON, on_res_word_cb},
    {8381, 4, CGI_KIND_JSON, on_cgi_set_face_config_cb},
    // camera firmware upgrade
    {8385, 4, CGI_KIND_JSON, on_set_ipc_upgrade_cb},
    {8386, sizeof(IpcUpgradeStatus), CGI_KIND_TEXT, on_get_ipc_upgrade_status_cb},
    {8379, sizeof(IpcUpgradeStatus), CGI_KIND_JSON, on_set_ipc_upgrade_online_cb},
};

const WebRes kCameraTable[] = {
    {"/2001", on_get_camera_list},
    {"/2000", on_get_camera_info},
    {"/2003", on_edit_camera},
    {"/2004", on_add_camera},
    {"/2005", on_delete_camera},
    {"/2006", on_search_camera},
    {"/2007", on_get_camera_list},
    {"/2008", on_get_camera_protocols},
    {"/2009", on_get_stream_params},
    {"/2010", on_set_stream_params},
    {"/2011", on_set_camera_network},
    {"/2012", on_get_channel_names},
    {"/2013", on_get_record_month_map},
    {"/2014", on_test_camera_connection},
    {"/2015", on_test_camera_web_login},
    {"/2016", on_get_poe_password},
    {"/2017", on_set_camera_account},
    {"/2018", on_get_max_poe_num},
    {"/2019", on_get_image_enhancement},
    {"/2020", on_set_image_enhancement},
    {"/2021", on_get_image_display},
    {"/2022", on_set_image_display},
    {"/2023", on_get_ipc_common_param},
    {"/2024", on_set_ipc_common_param},
    {"/2025", on_web_get_ipc_model_type},
    {"/2026", on_web_sendto_qt_cmd},
    {"/2027", on_web_get_chip_code},
    {"/2028", on_web_get_motion_status},
    {"/2029", on_web_get_channels_model},
    {"/2030", on_set_batch_stream_params},
    {"/2031", on_set_camera_transport},
    {"/2032", on_set_batch_camera_network},
    {"/2033", on_get_batch_network_result},
    {"/2034", on_get_ipv6_support},
    {"/2035", on_get_event_schedules},
    {"/2036", on_set_event_schedules},
    {"/2037", on_get_day_night_schedule},
    {"/2038", on_set_day_night_schedule},
    {"/2039", on_get_ipc_region_info},
    {"/2040", on_set_ipc_region_info},
    {"/2041", on_get_ipc_schedule_a},
    {"/2042", on_set_ipc_schedule_a},
    {"/2043", on_get_ipc_schedule_b},
    {"/2044", on_set_ipc_schedule_b},
    {"/2045", on_get_ipc_schedule_c},
    {"/2046", on_set_ipc_schedule_c},
    {"/2047", on_set_image_schedule},
    {"/2048", on_set_exposure_info},
    {"/2049", on_get_exposure_info},
    {"/2050", on_del_ipc_region_area},
    {"/2051", on_get_ipc_detection},
    {"/2052", on_set_ipc_detection},
    {"/2053", on_get_ipc_text_query},
    {"/2054", on_cgi_get_auto_tracking_status},
    {"/2055", on_cgi_set_auto_tracking_status},
    {"/2056", on_cgi_get_ptz_support},
    {"/2057", on_cgi_get_ipc_type},
    {"/2058", on_cgi_get_watermark},
    {"/2059", on_cgi_set_watermark},
    {"/2060", on_cgi_get_ipc_event_stream},
    {"/2061", on_cgi_set_ipc_event_stream},
    {"/2062", on_cgi_get_ipc_lpr_night_mode},
    {"/2063", on_cgi_get_ipc_audio_info},
    {"/2064", on_cgi_set_ipc_audio_info},
    {"/2065", on_cgi_get_ipc_system_info},
    {"/2066", on_cgi_get_peoplecnt_settings},
    {"/2067", on_cgi_set_peoplecnt_settings},
    {"/2068", on_cgi_get_ipc_custom_param},
    {"/2069", on_cgi_get_peoplecnt_action},
    {"/2070", on_cgi_set_peoplecnt_action},
    {"/2071", on_cgi_set_peoplecnt_db_reset},
    {"/2072", on_cgi_set_peoplecnt_liveview_reset},
    {"/2073", on_cgi_get_pos_info},
    {"/2074", on_cgi_set_pos_info},
    {"/2075", on_cgi_get_report_auto_backup},
    {"/2076", on_cgi_set_report_auto_backup},
    {"/2077", on_cgi_set_face_config},
    {"/2078", on_set_ipc_upgrade},
    {"/2079", on_get_ipc_upgrade_status},
    {"/2080", on_set_ipc_upgrade_online},
    {"/2081", on_set_ipc_upgrade_stop},
    {"/2082", on_check_ipc_upgrade},
};
static_assert(std::size(kCameraTable) == 82, "the camera module serves 82 requests");

}  // namespace

// Routes each core reply by its type to the writer of the request that
// caused it. A reply shorter than its record is the empty case: the error
// reply is written and the exchange ends, so no second reply can follow.
void on_camera_ipc_callback(void*, void* header, void* payload) {
  cgi_dispatch_reply(kReplies, header, payload);
}

NVR_DEFINE_MODULE(camera, kCameraTable)

