// Camera detection, text query, tracking, watermark, event stream and system facts.
// Serves "/2051", "/2052", "/2053", "/2054", "/2055", "/2056", "/2057", "/2058", "/2059", "/2060", "/2061", "/2062", "/2065", "/2068".
#include "handlers/camera/camera.h"

namespace camera {

// ---- Detection ----
const FieldDesc kDetectionFields[] = {
    FIELD(DetectionInfo, chnid),   FIELD(DetectionInfo, enable),       FIELD(DetectionInfo, sensitivity),
    FIELD(DetectionInfo, minsize), FIELD(DetectionInfo, mintime),      FIELD(DetectionInfo, adaptability),
    FIELD(DetectionInfo, map_mask),
};

int on_get_ipc_detection_cb(const uint8_t* data, size_t len) {
  auto rec = std::make_unique<DetectionInfo>(reply_record<DetectionInfo>(data, len));
  JsonPtr obj(json_object_new_object());
  add_fields(obj.get(), rec.get(), kDetectionFields);
  json_object_object_add(obj.get(), "effective", ipc_schedule_json(rec->effective));
  json_add_int(obj.get(), "isNtPlatform", rec->isNtPlatform);
  return write_json(obj.get());
}

// "/2051"
void on_get_ipc_detection(char* text) { relay_channel_query(text, "chnid", 3358, CGI_KIND_JSON); }

// "/2052"
void on_set_ipc_detection(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "chnid", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  auto rec = std::make_unique<DetectionSet>();
  std::memset(rec.get(), 0, sizeof *rec);
  set_unchanged(&rec->info, kDetectionFields);
  rec->info.isNtPlatform = -1;
  if (!take_fields(req.get(), &rec->info, kDetectionFields) ||
      json_int_member(req.get(), "isNtPlatform", &rec->info.isNtPlatform) == JSON_INT_BAD ||
      !event_schedule_readable(req.get(), "effective")) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  rec->info.chnid = ch;
  take_ipc_schedule(req.get(), "effective", &rec->info.effective);
  rec->copyMask = get_copy_flag_by_json(req.get(), "copyChn", "copyCnt") & ~(1ULL << ch);
  exchange(3366, rec.get(), sizeof *rec, CGI_KIND_JSON);
}

// ---- Text query ----
int on_get_ipc_text_query_cb(const uint8_t* data, size_t len) {
  const char* t = reinterpret_cast<const char*>(data);
  return write_text(std::string(t, strnlen(t, len)).c_str());
}

// "/2053"
void on_get_ipc_text_query(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  TextQuery rec;
  std::memset(&rec, 0, sizeof rec);
  if (!get_channel(req.get(), "chnid", &ch) || !json_plain_int(req.get(), "mainType", &rec.mainType) ||
      !json_plain_int(req.get(), "subType", &rec.subType) || !json_texts_readable(req.get(), {"time"})) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  rec.chnid = ch;
  json_get_text(req.get(), "time", rec.time);
  exchange(3360, &rec, sizeof rec, CGI_KIND_TEXT);
}

// ---- Auto tracking ----
const FieldDesc kAutoTrackingFields[] = {
    FIELD(AutoTracking, chnid),          FIELD(AutoTracking, enable),
    FIELD(AutoTracking, show),           FIELD(AutoTracking, sensitivity),
    FIELD(AutoTracking, time),           FIELD(AutoTracking, manual_tracking),
    FIELD(AutoTracking, zoom_mode),      FIELD(AutoTracking, zoom_number),
    FIELD(AutoTracking, area),           FIELD(AutoTracking, humanVehicleSupport),
    FIELD(AutoTracking, trackingObject), FIELD(AutoTracking, reportMotion),
};

int on_cgi_get_auto_tracking_status_cb(const uint8_t* data, size_t len) {
  auto rec = std::make_unique<AutoTracking>(reply_record<AutoTracking>(data, len));
  JsonPtr obj(json_object_new_object());
  add_fields(obj.get(), rec.get(), kAutoTrackingFields);
  json_object_object_add(obj.get(), "schedule", ipc_schedule_json(rec->schedule));
  return write_json(obj.get());
}

// "/2054"
void on_cgi_get_auto_tracking_status(char* text) { relay_channel_query(text, "chnid", 3294, CGI_KIND_JSON); }

// "/2055"
void on_cgi_set_auto_tracking_status(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "chnid", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  auto rec = std::make_unique<AutoTrackingSet>();
  std::memset(rec.get(), 0, sizeof *rec);
  set_unchanged(&rec->info, kAutoTrackingFields);
  if (!take_fields(req.get(), &rec->info, kAutoTrackingFields) || !event_schedule_readable(req.get(), "schedule") ||
      !json_texts_readable(req.get(), {"channels"})) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  rec->info.chnid = ch;
  take_ipc_schedule(req.get(), "schedule", &rec->info.schedule);
  rec->mask = mask_from_text(request_text(req.get(), "channels")) | (1ULL << ch);
  exchange(3375, rec.get(), sizeof *rec, CGI_KIND_JSON);
}

// ---- PTZ support, channel type ----
// "/2056"
void on_cgi_get_ptz_support(char* text) { relay_channel_query(text, "chnid", 1262, CGI_KIND_JSON); }

int on_cgi_get_ipc_type_cb(const uint8_t* data, size_t len) {
  const ChannelModelEntry rec = reply_record<ChannelModelEntry>(data, len);
  JsonPtr obj(json_object_new_object());
  add_fields(obj.get(), &rec, kChannelModelFields);
  return write_json(obj.get());
}

// "/2057"
void on_cgi_get_ipc_type(char* text) { relay_channel_query(text, "chnid", 2507, CGI_KIND_JSON); }

// ---- Watermark ----
int on_cgi_get_watermark_cb(const uint8_t* data, size_t len) {
  const WatermarkInfo rec = reply_record<WatermarkInfo>(data, len);
  JsonPtr obj(json_object_new_object());
  json_add_int(obj.get(), "chnid", rec.chnid);
  json_add_int(obj.get(), "enable", rec.enable);
  json_add_field(obj.get(), "watermark", rec.watermark);
  return write_json(obj.get());
}

// "/2058"
void on_cgi_get_watermark(char* text) { relay_channel_query(text, "chnid", 1213, CGI_KIND_JSON); }

// "/2059"
void on_cgi_set_watermark(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "chnid", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  WatermarkSet rec;
  std::memset(&rec, 0, sizeof rec);
  rec.chnid = ch;
  rec.enable = -1;
  if (json_int_member(req.get(), "enable", &rec.enable) == JSON_INT_BAD ||
      !json_texts_readable(req.get(), {"watermark", "copy"})) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  json_get_text(req.get(), "watermark", rec.watermark);
  const uint64_t mask = mask_from_text(request_text(req.get(), "copy")) | (1ULL << ch);
  copy_field(rec.copy, mask_text(mask));
  exchange(1216, &rec, sizeof rec, CGI_KIND_JSON);
}

// ---- Event stream ----
const FieldDesc kEventStreamFields[] = {
    FIELD(EventStream, chnid),   FIELD(EventStream, enable),         FIELD(EventStream, framerate),
    FIELD(EventStream, bitrate), FIELD(EventStream, iframeinterval),
};

int on_cgi_get_ipc_event_stream_cb(const uint8_t* data, size_t len) {
  const EventStream rec = reply_record<EventStream>(data, len);
  JsonPtr obj(json_object_new_object());
  add_fields(obj.get(), &rec, kEventStreamFields);
  return write_json(obj.get());
}

// "/2060"
void on_cgi_get_ipc_event_stream(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  EventStreamQuery q{0, 0};
  if (!get_channel(req.get(), "chnid", &ch) || !json_plain_int(req.get(), "fisheyeType", &q.fisheyeType)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  q.chnid = ch;
  exchange(1217, &q, sizeof q, CGI_KIND_JSON);
}

// "/2061"
void on_cgi_set_ipc_event_stream(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  int32_t fisheye = 0;
  if (!get_channel(req.get(), "chnid", &ch) || !json_plain_int(req.get(), "fisheyeType", &fisheye)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  EventStream rec;
  std::memset(&rec, 0, sizeof rec);
  set_unchanged(&rec, kEventStreamFields);
  if (!take_fields(req.get(), &rec, kEventStreamFields)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  rec.chnid = ch;
  rec.fisheyeType = fisheye;
  exchange(1218, &rec, sizeof rec, CGI_KIND_JSON);
}

// ---- Licence plate night mode, system info, custom parameters ----
int on_cgi_get_ipc_lpr_night_mode_cb(const uint8_t* data, size_t len) {
  const LprNightMode rec = reply_record<LprNightMode>(data, len);
  JsonPtr obj(json_object_new_object());
  json_add_int(obj.get(), "chnid", rec.chnid);
  json_add_int(obj.get(), "nightMode", rec.nightMode);
  return write_json(obj.get());
}

// "/2062"
void on_cgi_get_ipc_lpr_night_mode(char* text) { relay_channel_query(text, "chnid", 1219, CGI_KIND_JSON); }

const FieldDesc kSystemInfoFields[] = {
    FIELD(IpcSystemInfo, res),
    FIELD(IpcSystemInfo, audioSupport),
    FIELD(IpcSystemInfo, audioSupportMode),
    FIELD(IpcSystemInfo, audioLineInputSupport),
    FIELD(IpcSystemInfo, systemSpeakerSupport),
    FIELD(IpcSystemInfo, systemManualSpeedSupport),
};

int on_cgi_get_ipc_system_info_cb(const uint8_t* data, size_t len) {
  const IpcSystemInfo rec = reply_record<IpcSystemInfo>(data, len);
  JsonPtr obj(json_object_new_object());
  add_fields(obj.get(), &rec, kSystemInfoFields);
  json_add_int(obj.get(), "systemAutoTrackingSupport", rec.systemAutoTrackingSupport);
  return write_json(obj.get());
}

// "/2065"
void on_cgi_get_ipc_system_info(char* text) { relay_channel_query(text, "chnid", 3376, CGI_KIND_JSON); }

int on_cgi_get_ipc_custom_param_cb(const uint8_t* data, size_t len) {
  const CustomParamReply rec = reply_record<CustomParamReply>(data, len);
  JsonPtr obj(json_object_new_object());
  json_add_int(obj.get(), "res", rec.res);
  json_add_int(obj.get(), "chnid", rec.chnid);
  json_add_field(obj.get(), "data", rec.data);
  return write_json(obj.get());
}

// "/2068"
void on_cgi_get_ipc_custom_param(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "chnid", &ch)) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  if (!json_texts_readable(req.get(), {"url"})) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  CustomParamQuery q;
  std::memset(&q, 0, sizeof q);
  q.chnid = ch;
  json_get_text(req.get(), "url", q.url);
  exchange(3377, &q, sizeof q, CGI_KIND_JSON);
}

}  // namespace camera
