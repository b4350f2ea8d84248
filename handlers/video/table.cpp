// Video and event settings: motion detection with its area, schedules and
// linked actions, copies to other channels, the live motion map, the PTZ
// action rows shared by every event kind and the copy of alarm-input
// triggers. The module's reply dispatcher serves every event page.
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
    {6207, 228, nullptr},   {6208, 4, on_status_text_cb},  {6209, 628, nullptr},
    {6210, 4, on_status_text_cb},  {6211, 356, nullptr},    {6212, 4, on_status_text_cb},
    {6215, 12, nullptr},    {6220, 26912, nullptr},        {6221, 4, on_status_res_cb},
    {7502, 2832, nullptr},  {7503, 4, nullptr},            {8206, sizeof(MotionMapRecord), on_get_motion_map_cb},
    {8210, 4, nullptr},     {8211, 848, nullptr},          {8213, 92, nullptr},
    {8215, 112, nullptr},   {8231, 4, on_status_text_cb},  {8232, 20, nullptr},
    {8237, 4480, nullptr},  {8238, 4480, nullptr},         {8239, 4480, nullptr},
    {8240, 4480, nullptr},  {8241, 612, nullptr},          {8242, 4480, nullptr},
    {8243, 4480, nullptr},  {8244, 4, on_status_text_cb},  {8245, 4, on_status_text_cb},
    {8246, 4, on_status_text_cb},  {8247, 4, on_status_text_cb},  {8248, 4, on_status_text_cb},
    {8249, 4, on_status_text_cb},  {8250, 4, on_status_text_cb},  {8253, 26536, nullptr},
    {8254, 4, on_status_text_cb},  {8257, 44, nullptr},    {8258, 4, on_status_text_cb},
    {8259, 64, nullptr},    {8260, 4, on_status_text_cb},  {8261, 4, on_status_text_cb},
    {8268, 4468, nullptr},  {8269, 4, on_status_text_cb},  {8289, 5496, nullptr},
    {8290, 4, on_status_text_cb},  {8293, 12, nullptr},    {8353, 4, on_status_res_cb},
    {8373, 20, nullptr},    {8374, 4, on_status_res_cb},
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
};
}  // namespace

NVR_DEFINE_MODULE(video, kVideoTable)

