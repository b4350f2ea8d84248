// Camera parameter relay: audio, streams, image, common parameters and small queries.
// Serves "/2009", "/2010", "/2019", "/2020", "/2021", "/2022", "/2023", "/2024", "/2025", "/2026", "/2027", "/2028", "/2030", "/2063", "/2064".
#include "handlers/camera/camera.h"

namespace camera {

// ================= Parameter relay =================

// ---- Audio ----
const FieldDesc kAudioConfigFields[] = {
    FIELD(AudioConfig, chnid),         FIELD(AudioConfig, audioEnable),      FIELD(AudioConfig, audioMode),
    FIELD(AudioConfig, denoise),       FIELD(AudioConfig, encoding),         FIELD(AudioConfig, sampleRate),
    FIELD(AudioConfig, inputGain),     FIELD(AudioConfig, inputMode),        FIELD(AudioConfig, audioGainControl),
    FIELD(AudioConfig, outputVolume),  FIELD(AudioConfig, audioBitrate),
};

int on_cgi_get_ipc_audio_info_cb(const uint8_t* data, size_t len) {
  const AudioInfo rec = reply_record<AudioInfo>(data, len);
  JsonPtr obj(json_object_new_object());
  json_object* o = obj.get();
  json_add_int(o, "res", rec.res);
  json_add_int(o, "support", rec.support);
  json_add_int(o, "supportMode", rec.supportMode);
  json_add_int(o, "supportInputMode", rec.supportInputMode);
  json_object* config = json_object_new_object();
  add_fields(config, &rec.config, kAudioConfigFields);
  json_object_object_add(o, "config", config);
  json_object* options = json_object_new_array();
  for (int i = 0; i < bounded_count(rec.optionCount, AUDIO_OPTIONS); ++i) {
    const AudioOption& opt = rec.option[i];
    json_object* item = json_object_new_object();
    json_add_int(item, "encodeValue", opt.encodeValue);
    json_object* rates = json_object_new_array();
    for (int j = 0; j < bounded_count(opt.sampleRateCount, AUDIO_SAMPLE_RATES); ++j) {
      const AudioSampleRate& sr = opt.sampleRate[j];
      json_object* rate = json_object_new_object();
      json_add_int(rate, "sampleRateValue", sr.sampleRateValue);
      json_object* bitrates = json_object_new_array();
      for (int k = 0; k < bounded_count(sr.bitrateCount, AUDIO_BITRATES); ++k)
        json_object_array_add(bitrates, json_object_new_int(sr.bitrate[k]));
      json_object_object_add(rate, "bitrateInfo", bitrates);
      json_object_array_add(rates, rate);
    }
    json_object_object_add(item, "sampleRateInfo", rates);
    json_object_array_add(options, item);
  }
  json_object_object_add(o, "options", options);
  return write_json(o);
}

// "/2063"
void on_cgi_get_ipc_audio_info(char* text) { relay_channel_query(text, "chnid", 3371, CGI_KIND_JSON); }

// "/2064"
void on_cgi_set_ipc_audio_info(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "chnid", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  AudioSet rec;
  std::memset(&rec, 0, sizeof rec);
  set_unchanged(&rec.config, kAudioConfigFields);
  if (!take_fields(req.get(), &rec.config, kAudioConfigFields) || !json_texts_readable(req.get(), {"channels"})) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  rec.config.chnid = ch;
  rec.mask = mask_from_text(request_text(req.get(), "channels")) | (1ULL << ch);
  exchange(3372, &rec, sizeof rec, CGI_KIND_JSON);
}

// ---- Stream parameters ----
const FieldDesc kStreamCapsFields[] = {
    FIELD(StreamCaps, framerateMax),      FIELD(StreamCaps, framerateMin),   FIELD(StreamCaps, bitrateMax),
    FIELD(StreamCaps, bitrateMin),        FIELD(StreamCaps, framerate),      FIELD(StreamCaps, bitrate),
    FIELD(StreamCaps, iframeinterval),    FIELD(StreamCaps, iframeIntervalMin),
    FIELD(StreamCaps, iframeIntervalMax), FIELD(StreamCaps, bitrateCtrl),
};

json_object* stream_caps_json(const StreamCaps& caps) {
  json_object* o = json_object_new_object();
  json_object* res = json_object_new_array();
  int cur = -1;
  for (int i = 0; i < STREAM_RESOLUTIONS; ++i) {
    const int32_t w = caps.res[i][0], h = caps.res[i][1];
    if (w == 0 || h == 0) break;
    if (w == caps.curWidth && h == caps.curHeight && cur < 0) cur = i;
    json_object* r = json_object_new_object();
    json_add_int(r, "width", w);
    json_add_int(r, "height", h);
    json_add_text(r, "name", string_printf("%d*%d", w, h));
    json_object_array_add(res, r);
  }
  json_add_int(o, "curRes", cur < 0 ? 0 : cur);
  json_object_object_add(o, "res", res);
  add_fields(o, &caps, kStreamCapsFields);
  return o;
}

int on_get_stream_params_cb(const uint8_t* data, size_t len) {
  const StreamParams p = reply_record<StreamParams>(data, len);
  JsonPtr obj(json_object_new_object());
  json_object* o = obj.get();
  json_add_int(o, "stateCode", p.stateCode);
  if (p.stateCode == 0) {
    const CameraRecord& cam = g_ctx.camera;
    json_add_int(o, "id", p.id);
    json_add_field(o, "name", g_ctx.camera_name);
    json_add_int(o, "subEnable", p.subEnable);
    json_add_int(o, "audioEnable", p.audioEnable);
    json_add_int(o, "videoTypeEnable", p.videoTypeEnable);
    json_add_int(o, "mainVideoType", p.main.videoType);
    json_add_int(o, "subVideoType", p.sub.videoType);
    json_add_int(o, "ipc_type", p.ipc_type);
    json_add_int(o, "syncTime", cam.syncTime);
    json_add_int(o, "protocol", cam.camProtocol);
    json_add_int(o, "managePort", cam.managePort);
    json_add_int(o, "physicalport", cam.physicalport);
    json_add_int(o, "poechannel", cam.poechannel);
    json_add_field(o, "mac_addr", cam.mac_addr);
    json_add_int(o, "transmitProtocol", cam.transmitProtocol);
    json_add_field(o, "ddns", cam.ddns);
    json_add_int(o, "httpsPort", cam.httpsPort);
    json_add_int(o, "mainStream", p.mainStream);
    json_add_int(o, "subStream", p.subStream);
    json_add_int(o, "SupportSmartStream", p.SupportSmartStream);
    json_add_int(o, "SmartStream", p.SmartStream);
    json_add_int(o, "SmartStreamLevel", p.SmartStreamLevel);
    json_add_int(o, "SubSupportSmartStream", p.SubSupportSmartStream);
    json_add_int(o, "SubSmartStream", p.SubSmartStream);
    json_add_int(o, "SubSmartStreamLevel", p.SubSmartStreamLevel);
    json_object_object_add(o, "main", stream_caps_json(p.main));
    json_object_object_add(o, "sub", stream_caps_json(p.sub));
    json_add_int(o, "mainGop", p.mainGop);
    json_add_int(o, "subGop", p.subGop);
    json_add_int(o, "thirdGop", p.thirdGop);
  }
  return write_json(o);
}

// "/2009"
void on_get_stream_params(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "chnid", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  read_camera(ZRDB_PATH, &g_ctx.camera, ch);
  read_osd_name(ZRDB_PATH, ch, g_ctx.camera_name);
  g_ctx.channel = ch;
  int32_t payload = ch;
  exchange(3204, &payload, sizeof payload, CGI_KIND_JSON);
}

// Every int field of the stream set record but the zero words; the first
// three are never taken from a single-channel request.
const FieldDesc kStreamSetFields[] = {
    FIELD(StreamSet, transmitProtocol),  FIELD(StreamSet, syncTime),
    FIELD(StreamSet, field76),           FIELD(StreamSet, videoTypeEnable),
    FIELD(StreamSet, subEnable),         FIELD(StreamSet, fisheyeType),
    FIELD(StreamSet, mainVideoType),     FIELD(StreamSet, mainResWidth),
    FIELD(StreamSet, mainResHeight),     FIELD(StreamSet, mainFramerate),
    FIELD(StreamSet, mainBitrate),       FIELD(StreamSet, IframeInterval),
    FIELD_AS(StreamSet, bitrateControl, "mainBitrateControl"),
    FIELD(StreamSet, SmartStream),       FIELD(StreamSet, SmartStreamLevel),
    FIELD(StreamSet, recordtype),        FIELD(StreamSet, etframerate),
    FIELD(StreamSet, etIframeinterval),  FIELD(StreamSet, etbitrate),
    FIELD(StreamSet, subVideoType),      FIELD(StreamSet, subResWidth),
    FIELD(StreamSet, subResHeight),      FIELD(StreamSet, subFramerate),
    FIELD(StreamSet, subBitrate),        FIELD(StreamSet, subIframeInterval),
    FIELD_AS(StreamSet, SubBitrateControl, "subBitrateControl"),
    FIELD(StreamSet, SubSmartStream),    FIELD(StreamSet, SubSmartStreamLevel),
};
// Keys "/2010" takes: every field after the first three.
const FieldDesc kStreamSetSingleKeys[] = {
    FIELD(StreamSet, videoTypeEnable),   FIELD(StreamSet, subEnable),
    FIELD(StreamSet, fisheyeType),       FIELD(StreamSet, mainVideoType),
    FIELD(StreamSet, mainResWidth),      FIELD(StreamSet, mainResHeight),
    FIELD(StreamSet, mainFramerate),     FIELD(StreamSet, mainBitrate),
    FIELD(StreamSet, IframeInterval),    FIELD_AS(StreamSet, bitrateControl, "mainBitrateControl"),
    FIELD(StreamSet, SmartStream),       FIELD(StreamSet, SmartStreamLevel),
    FIELD(StreamSet, recordtype),        FIELD(StreamSet, etframerate),
    FIELD(StreamSet, etIframeinterval),  FIELD(StreamSet, etbitrate),
    FIELD(StreamSet, subVideoType),      FIELD(StreamSet, subResWidth),
    FIELD(StreamSet, subResHeight),      FIELD(StreamSet, subFramerate),
    FIELD(StreamSet, subBitrate),        FIELD(StreamSet, subIframeInterval),
    FIELD_AS(StreamSet, SubBitrateControl, "subBitrateControl"),
    FIELD(StreamSet, SubSmartStream),    FIELD(StreamSet, SubSmartStreamLevel),
};
// Keys "/2030" takes.
const FieldDesc kStreamSetBatchKeys[] = {
    FIELD(StreamSet, transmitProtocol),  FIELD(StreamSet, syncTime),
    FIELD(StreamSet, subEnable),         FIELD(StreamSet, mainVideoType),
    FIELD(StreamSet, mainResWidth),      FIELD(StreamSet, mainResHeight),
    FIELD(StreamSet, mainFramerate),     FIELD(StreamSet, mainBitrate),
    FIELD(StreamSet, IframeInterval),    FIELD_AS(StreamSet, bitrateControl, "mainBitrateControl"),
    FIELD(StreamSet, SmartStream),       FIELD(StreamSet, SmartStreamLevel),
    FIELD(StreamSet, subVideoType),      FIELD(StreamSet, subResWidth),
    FIELD(StreamSet, subResHeight),      FIELD(StreamSet, subFramerate),
    FIELD(StreamSet, subBitrate),        FIELD(StreamSet, subIframeInterval),
    FIELD_AS(StreamSet, SubBitrateControl, "subBitrateControl"),
    FIELD(StreamSet, SubSmartStream),    FIELD(StreamSet, SubSmartStreamLevel),
};

StreamSet blank_stream_set() {
  StreamSet rec;
  std::memset(&rec, 0, sizeof rec);
  set_unchanged(&rec, kStreamSetFields);
  for (int32_t& w : rec.tail) w = -1;
  std::memset(rec.mask, '0', sizeof rec.mask);
  return rec;
}

int on_set_stream_params_cb(const uint8_t* data, size_t len) {
  uint64_t mask = 0;
  std::memcpy(&mask, data, len < sizeof mask ? len : sizeof mask);
  JsonPtr obj(json_object_new_object());
  json_add_text(obj.get(), "res", mask_text(mask));
  return write_json(obj.get());
}

// "/2010"
void on_set_stream_params(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  json_object* r = req.get();
  int id = -1;
  if (!get_channel(r, "id", &id) || !int_in(r, "mainFramerate", 0, INT32_MAX) ||
      !int_in(r, "mainBitrate", 0, INT32_MAX) || !int_in(r, "subEnable", 0, 1) || !int_in(r, "audioEnable", 0, 1) ||
      !int_in(r, "mainResWidth", 0, INT32_MAX) || !int_in(r, "mainResHeight", 0, INT32_MAX))
    return;
  StreamSet rec = blank_stream_set();
  if (!take_fields(r, &rec, kStreamSetSingleKeys)) return;
  rec.mask[id] = '1';
  exchange(3203, &rec, sizeof rec, CGI_KIND_TEXT);
}

// "/2030"
void on_set_batch_stream_params(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  StreamSet rec = blank_stream_set();
  json_object* chans = json_array_member(req.get(), "chans");
  for (size_t i = 0; i < json_array_size(chans) && i < MAX_CHANNELS; ++i) {
    int32_t flag = 0;
    if (!json_value_int(array_element(chans, i), &flag)) return;  // "x" selects nothing: refused
    if (flag != 0) rec.mask[i] = '1';
  }
  if (!take_fields(req.get(), &rec, kStreamSetBatchKeys)) return;
  rec.videoTypeEnable = 1;
  exchange(3203, &rec, sizeof rec, CGI_KIND_TEXT);
}

// ---- Image enhancement ----
const FieldDesc kImageEnhancementFields[] = {
    FIELD(ImageEnhancement, id),            FIELD(ImageEnhancement, smartir),
    FIELD(ImageEnhancement, whiteblance),   FIELD(ImageEnhancement, focusmode),
    FIELD(ImageEnhancement, antiblurry),    FIELD(ImageEnhancement, wdrenable),
    FIELD(ImageEnhancement, wdrlevel),      FIELD(ImageEnhancement, wdrstarthour),
    FIELD(ImageEnhancement, wdrstartminute), FIELD(ImageEnhancement, wdrstophour),
    FIELD(ImageEnhancement, wdrstopminute), FIELD(ImageEnhancement, regiontype),
    FIELD(ImageEnhancement, hlcmode),       FIELD(ImageEnhancement, exclude),
    FIELD(ImageEnhancement, exposemode),    FIELD(ImageEnhancement, exposeregion),
    FIELD(ImageEnhancement, imageschemode), FIELD(ImageEnhancement, hlcday),
    FIELD(ImageEnhancement, hlcnight),      FIELD(ImageEnhancement, redgain),
    FIELD(ImageEnhancement, bluegain),      FIELD(ImageEnhancement, defogmode),
    FIELD(ImageEnhancement, defoglevel),    FIELD(ImageEnhancement, dismode),
    FIELD(ImageEnhancement, exposetime),    FIELD(ImageEnhancement, exposegain),
    FIELD(ImageEnhancement, wdraflevel),    FIELD(ImageEnhancement, exposurectrl),
    FIELD(ImageEnhancement, hlclevel),      FIELD(ImageEnhancement, enblur),
    FIELD(ImageEnhancement, deblur),        FIELD(ImageEnhancement, sdkversion),
    FIELD(ImageEnhancement, lensType),      FIELD(ImageEnhancement, reduceVideoStuttering),
};

int on_get_ipc_ipcimage_enhancement_cb(const uint8_t* data, size_t len) {
  const ImageEnhancement rec = reply_record<ImageEnhancement>(data, len);
  JsonPtr obj(json_object_new_object());
  add_fields(obj.get(), &rec, kImageEnhancementFields);
  return write_json(obj.get());
}

// "/2019"
void on_get_image_enhancement(char* text) { relay_channel_query(text, "id", 3221, CGI_KIND_TEXT); }

const FieldDesc kImageEnhancementSetFields[] = {
    FIELD(ImageEnhancementSet, modelType),        FIELD(ImageEnhancementSet, aflevel),
    FIELD(ImageEnhancementSet, irBalanceMode),    FIELD(ImageEnhancementSet, reduceMotionBlur),
    FIELD(ImageEnhancementSet, defogMode),        FIELD(ImageEnhancementSet, antiFogIntensity),
    FIELD(ImageEnhancementSet, whitebalanceMode), FIELD(ImageEnhancementSet, whitebalanceRedGain),
    FIELD(ImageEnhancementSet, whitebalanceBlueGain), FIELD(ImageEnhancementSet, exposureMode),
    FIELD(ImageEnhancementSet, exposureTime),     FIELD(ImageEnhancementSet, exposureGain),
    FIELD(ImageEnhancementSet, blcRegion),        FIELD(ImageEnhancementSet, blcRegionRange),
    FIELD(ImageEnhancementSet, blcRegionArea),    FIELD(ImageEnhancementSet, wdrMode),
    FIELD(ImageEnhancementSet, wdrStartHour),     FIELD(ImageEnhancementSet, wdrStartMin),
    FIELD(ImageEnhancementSet, wdrEndHour),       FIELD(ImageEnhancementSet, wdrEndMin),
    FIELD(ImageEnhancementSet, wdrLevel),         FIELD(ImageEnhancementSet, hlcMode),
    FIELD(ImageEnhancementSet, hlcLevel),
};

// Fills a channel list of `cap` entries from an array member: its first
// `cap` elements, -1 after its end. False when a taken element is not a
// channel id in 0..63.
bool take_channel_list(json_object* req, const char* key, int32_t* list, size_t cap) {
  json_object* arr = json_array_member(req, key);
  size_t n = json_array_size(arr);
  if (n > cap) n = cap;
  for (size_t i = 0; i < cap; ++i) list[i] = -1;
  for (size_t i = 0; i < n; ++i) {
    int ch = -1;
    if (!json_value_int(array_element(arr, i), &ch) || !channel_in_range(ch)) return false;
    list[i] = ch;
  }
  return true;
}

// "/2020"
void on_set_image_enhancement(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  ImageEnhancementSet rec;
  std::memset(&rec, 0, sizeof rec);
  if (!take_channel_list(req.get(), "channel", rec.channel, 64) || !json_plain_int(req.get(), "type", &rec.type)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  json_object* source = req.get();
  if (rec.type != 0) {
    source = array_element(json_array_member(req.get(), "scenes"), 0);
    if (!is_object(source)) return;
  }
  set_unchanged(&rec, kImageEnhancementSetFields);
  if (!take_fields(source, &rec, kImageEnhancementSetFields)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  // "scenes" is a value of its own only as a number; as the scene list it
  // leaves the field unchanged.
  rec.scenes = -1;
  if (json_object* scenes = json_member(source, "scenes", json_type_int)) rec.scenes = json_object_get_int(scenes);
  send_and_answer_ok(3280, &rec, sizeof rec);
}

// ---- Image display ----
const FieldDesc kImageDisplayFields[] = {
    FIELD(ImageDisplay, colorkiller),       FIELD(ImageDisplay, modestarthour),
    FIELD(ImageDisplay, modestartminute),   FIELD(ImageDisplay, modestophour),
    FIELD(ImageDisplay, modestopminute),    FIELD(ImageDisplay, exposurectrl),
    FIELD(ImageDisplay, lighttype),         FIELD(ImageDisplay, mirctrl),
    FIELD(ImageDisplay, localdisplay),      FIELD(ImageDisplay, ircutaddaytonight),
    FIELD(ImageDisplay, ircutadnighttoday), FIELD(ImageDisplay, corridormode),
    FIELD(ImageDisplay, imagerotation),     FIELD(ImageDisplay, smartIRType),
    FIELD(ImageDisplay, nearIRLevel),       FIELD(ImageDisplay, farIRLevel),
    FIELD(ImageDisplay, midIRLevel),        FIELD(ImageDisplay, lencorrect),
    FIELD(ImageDisplay, smartIrMath),       FIELD(ImageDisplay, smartIrLimit),
    FIELD(ImageDisplay, chipninterface),    FIELD(ImageDisplay, nearSmartirValue),
    FIELD(ImageDisplay, farSmartirValue),   FIELD(ImageDisplay, midSmartirValue),
    FIELD(ImageDisplay, lenCorrectType),    FIELD(ImageDisplay, fovadjust),
    FIELD(ImageDisplay, sensortype),        FIELD(ImageDisplay, productmodel),
    FIELD(ImageDisplay, softversion),       FIELD(ImageDisplay, smokeddomecover),
    FIELD(ImageDisplay, smartwhitestrength), FIELD(ImageDisplay, dnRefocus),
    FIELD(ImageDisplay, sdkversion),        FIELD(ImageDisplay, structuretype),
    FIELD(ImageDisplay, keepCorrectAspectRatio), FIELD(ImageDisplay, dayNightSens),
    FIELD(ImageDisplay, nightDaySens),      FIELD(ImageDisplay, zoomLimit),
};

int on_get_ipc_ipcimage_display_cb(const uint8_t* data, size_t len) {
  const ImageDisplay rec = reply_record<ImageDisplay>(data, len);
  JsonPtr obj(json_object_new_object());
  add_fields(obj.get(), &rec, kImageDisplayFields);
  return write_json(obj.get());
}

// "/2021"
void on_get_image_display(char* text) { relay_channel_query(text, "id", 3223, CGI_KIND_TEXT); }

const FieldDesc kImageDisplaySetFields[] = {
    FIELD(ImageDisplaySet, type),              FIELD(ImageDisplaySet, colorkiller),
    FIELD(ImageDisplaySet, modestarthour),     FIELD(ImageDisplaySet, modestartminute),
    FIELD(ImageDisplaySet, modestophour),      FIELD(ImageDisplaySet, modestopminute),
    FIELD(ImageDisplaySet, exposurectrl),      FIELD(ImageDisplaySet, lighttype),
    FIELD(ImageDisplaySet, mirctrl),           FIELD(ImageDisplaySet, localdisplay),
    FIELD(ImageDisplaySet, ircutaddaytonight), FIELD(ImageDisplaySet, ircutadnighttoday),
    FIELD(ImageDisplaySet, corridormode),      FIELD(ImageDisplaySet, imagerotation),
    FIELD(ImageDisplaySet, smartIRType),       FIELD(ImageDisplaySet, nearIRLevel),
    FIELD(ImageDisplaySet, farIRLevel),        FIELD(ImageDisplaySet, midIRLevel),
    FIELD(ImageDisplaySet, lencorrect),        FIELD(ImageDisplaySet, smartIrMath),
    FIELD(ImageDisplaySet, smartIrLimit),      FIELD(ImageDisplaySet, nearSmartirValue),
    FIELD(ImageDisplaySet, farSmartirValue),   FIELD(ImageDisplaySet, midSmartirValue),
    FIELD(ImageDisplaySet, lenCorrectType),    FIELD(ImageDisplaySet, fovadjust),
    FIELD(ImageDisplaySet, smokeddomecover),   FIELD(ImageDisplaySet, smartwhitestrength),
    FIELD(ImageDisplaySet, dnRefocus),         FIELD(ImageDisplaySet, keepCorrectAspectRatio),
    FIELD(ImageDisplaySet, dayNightSens),      FIELD(ImageDisplaySet, nightDaySens),
    FIELD(ImageDisplaySet, zoomLimit),         FIELD(ImageDisplaySet, saveCorridor),
    FIELD(ImageDisplaySet, whiteLedLevel),     FIELD(ImageDisplaySet, whiteledLightCtrl),
    FIELD(ImageDisplaySet, whiteledSensitivity), FIELD(ImageDisplaySet, whiteledDelay),
    FIELD(ImageDisplaySet, whiteledStart),     FIELD(ImageDisplaySet, whiteledStop),
    FIELD(ImageDisplaySet, whiteledBrightnessCtrl), FIELD(ImageDisplaySet, whiteledBrightness),
    FIELD(ImageDisplaySet, scenes),            FIELD(ImageDisplaySet, powerlineFreq),
    FIELD(ImageDisplaySet, dnMode),            FIELD(ImageDisplaySet, d2nSensitivity),
    FIELD(ImageDisplaySet, n2dSensitivity),    FIELD(ImageDisplaySet, nightStartHour),
    FIELD(ImageDisplaySet, nightStartMinute),  FIELD(ImageDisplaySet, nightEndHour),
    FIELD(ImageDisplaySet, nightEndMinute),    FIELD(ImageDisplaySet, smartIrMode),
    FIELD(ImageDisplaySet, irLedLevel),        FIELD(ImageDisplaySet, imageRotation),
};

// "/2022"
void on_set_image_display(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  int ch = -1;
  if (!get_channel(req.get(), "id", &ch)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  ImageDisplaySet rec;
  std::memset(&rec, 0, sizeof rec);
  set_unchanged(&rec, kImageDisplaySetFields);
  if (!take_fields(req.get(), &rec, kImageDisplaySetFields)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  rec.id = ch;
  exchange(3224, &rec, sizeof rec, CGI_KIND_TEXT);
}

// ---- Common parameters ----
const FieldDesc kCommonParamFields[] = {
    FIELD(CommonParam, id),  FIELD(CommonParam, pagename), FIELD(CommonParam, httpname),
    FIELD(CommonParam, key), FIELD(CommonParam, value),
};

int on_get_ipc_common_param_cb(const uint8_t* data, size_t len) {
  const CommonParam rec = reply_record<CommonParam>(data, len);
  JsonPtr obj(json_object_new_object());
  add_fields(obj.get(), &rec, kCommonParamFields);
  return write_json(obj.get());
}

bool fill_common_param(json_object* r, CommonParam* rec) {
  int ch = -1;
  if (!get_channel(r, "id", &ch) || !json_texts_readable(r, {"pagename", "httpname", "key", "value"})) return false;
  std::memset(rec, 0, sizeof *rec);
  rec->id = ch;
  json_get_text(r, "pagename", rec->pagename);
  json_get_text(r, "httpname", rec->httpname);
  json_get_text(r, "key", rec->key);
  json_get_text(r, "value", rec->value);
  return true;
}

// "/2023"
void on_get_ipc_common_param(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  CommonParam rec;
  if (!fill_common_param(req.get(), &rec)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  std::memset(rec.value, 0, sizeof rec.value);
  rec.flag = rec.pagename[0] == '\0' ? 1 : 0;
  exchange(3225, &rec, sizeof rec, CGI_KIND_TEXT);
}

// "/2024"
void on_set_ipc_common_param(char* text) {
  JsonPtr req = parse_request(text);
  if (!req) return;
  CommonParam rec;
  if (!fill_common_param(req.get(), &rec)) {
    cgi_error_to_webserver(CGI_KIND_JSON);
    return;
  }
  // The camera restarts its encoder on a rate-control change; give the
  // previous change time to settle.
  if (std::strcmp(rec.key, "ratecontrol1") == 0 || std::strcmp(rec.key, "ratecontrol2") == 0)
    std::this_thread::sleep_for(std::chrono::seconds(2));
  exchange(3226, &rec, sizeof rec, CGI_KIND_TEXT);
}

// ---- Small queries ----
int on_web_get_ipc_model_type_cb(const uint8_t* data, size_t) {
  JsonPtr obj(json_object_new_object());
  json_add_int(obj.get(), "type", read_i32(data));
  return write_json(obj.get());
}

// "/2025"
void on_web_get_ipc_model_type(char* text) { relay_channel_query(text, "id", 2503, CGI_KIND_TEXT); }

int on_get_qt_cmd_result_cb(const uint8_t* data, size_t len) {
  const char* t = reinterpret_cast<const char*>(data) + QT_RESULT_TEXT_AT;
  JsonPtr obj(json_object_new_object());
  json_add_text(obj.get(), "result", std::string_view(t, strnlen(t, len - QT_RESULT_TEXT_AT)));
  return write_json(obj.get());
}

// "/2026"
void on_web_sendto_qt_cmd(char* text) {
  JsonPtr req = parse_request(text);
  if (!req || !json_texts_readable(req.get(), {"cmd"})) return;
  QtCommand rec;
  std::memset(&rec, 0, sizeof rec);
  json_get_text(req.get(), "cmd", rec.cmd);
  exchange(4002, &rec, sizeof rec, CGI_KIND_TEXT);
}

int on_get_get_chip_code_cb(const uint8_t* data, size_t len) {
  const char* t = reinterpret_cast<const char*>(data);
  JsonPtr obj(json_object_new_object());
  json_add_text(obj.get(), "chip_code", std::string_view(t, strnlen(t, len)));
  return write_json(obj.get());
}

// "/2027"
void on_web_get_chip_code(char*) { exchange(4004, nullptr, 0, CGI_KIND_TEXT); }

int on_web_get_motion_status_cb(const uint8_t* data, size_t) {
  uint64_t mask;
  std::memcpy(&mask, data, sizeof mask);
  JsonPtr obj(json_object_new_object());
  json_add_text(obj.get(), "Motion", mask_text(mask));
  return write_json(obj.get());
}

// "/2028"
void on_web_get_motion_status(char*) { exchange(3307, nullptr, 0, CGI_KIND_TEXT); }

}  // namespace camera
