// Records the camera module exchanges with the core daemon, and the stored
// model table and exposure lists. Little-endian, fixed layout; shared with
// zrcore-sim and the tests.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/camera_common_param.h"
#include "core/web_utils.h"
#include "platform/zrdb.h"

#define CAM_CHECK_SIZE(T, n) static_assert(sizeof(T) == (n), #T " size")
#define CAM_CHECK_AT(T, f, n) static_assert(offsetof(T, f) == (n), #T "." #f " offset")

// ================= Channel management =================

// Reply 8201, one per camera.
struct CameraListEntry {
  int32_t id;
  int32_t managePort;
  int32_t camProtocol;
  int32_t state;
  int32_t mainRtspPort;
  char ipAddr[32];
  char vendor[192];
  char sn[128];
  char fwVersion[64];
  char mac[48];
  char model[324];
  int32_t poechannel;
  int32_t physicalport;
  int32_t alarmin;
  int32_t alarmout;
  int32_t whiteLed;
  int32_t ledAlarm;
  int32_t ledManual;
  int32_t minorid;
  int32_t subState;
  int32_t connectState;
  char snReal[64];
  char ddns[64];
  char chipinfo[64];
};
CAM_CHECK_SIZE(CameraListEntry, 1040);
CAM_CHECK_AT(CameraListEntry, ipAddr, 20);
CAM_CHECK_AT(CameraListEntry, vendor, 52);
CAM_CHECK_AT(CameraListEntry, sn, 244);
CAM_CHECK_AT(CameraListEntry, fwVersion, 372);
CAM_CHECK_AT(CameraListEntry, mac, 436);
CAM_CHECK_AT(CameraListEntry, model, 484);
CAM_CHECK_AT(CameraListEntry, poechannel, 808);
CAM_CHECK_AT(CameraListEntry, connectState, 844);
CAM_CHECK_AT(CameraListEntry, snReal, 848);
CAM_CHECK_AT(CameraListEntry, ddns, 912);
CAM_CHECK_AT(CameraListEntry, chipinfo, 976);

// Reply 8200, one per camera found.
struct SearchResultEntry {
  char ipAddr[32];
  char macAddr[32];
  int32_t managePort;
  int32_t protocol;
  char vendor[192];
  char sn[128];
  char fwVersion[64];
  char model[64];
  int32_t modelId;
  char netmask[32];
  char dns[32];
  char gateway[32];
  char netif[8];
  int32_t active_status;
  char name[64];
  char snReal[64];
};
CAM_CHECK_SIZE(SearchResultEntry, 760);
CAM_CHECK_AT(SearchResultEntry, managePort, 64);
CAM_CHECK_AT(SearchResultEntry, vendor, 72);
CAM_CHECK_AT(SearchResultEntry, sn, 264);
CAM_CHECK_AT(SearchResultEntry, fwVersion, 392);
CAM_CHECK_AT(SearchResultEntry, model, 456);
CAM_CHECK_AT(SearchResultEntry, modelId, 520);
CAM_CHECK_AT(SearchResultEntry, netmask, 524);
CAM_CHECK_AT(SearchResultEntry, netif, 620);
CAM_CHECK_AT(SearchResultEntry, active_status, 628);
CAM_CHECK_AT(SearchResultEntry, name, 632);
CAM_CHECK_AT(SearchResultEntry, snReal, 696);

// Request 3205; request 3229 adds channelId and modifynum.
struct CameraNetworkChange {
  char macAddr[48];
  char oldIpcAddr[32];
  char newIpcAddr[32];
  char netmask[32];
  char gateway[32];
  char primaryDNS[32];
  int32_t port;
  char username[64];
  char password[36];  // at most 32 characters
  int32_t protocol;
  uint8_t zero316[64];
  char netif[6];      // at most 5 characters
  uint8_t zero386[2];
};
CAM_CHECK_SIZE(CameraNetworkChange, 388);
CAM_CHECK_AT(CameraNetworkChange, oldIpcAddr, 48);
CAM_CHECK_AT(CameraNetworkChange, primaryDNS, 176);
CAM_CHECK_AT(CameraNetworkChange, port, 208);
CAM_CHECK_AT(CameraNetworkChange, username, 212);
CAM_CHECK_AT(CameraNetworkChange, password, 276);
CAM_CHECK_AT(CameraNetworkChange, protocol, 312);
CAM_CHECK_AT(CameraNetworkChange, netif, 380);

struct BatchNetworkChange {
  CameraNetworkChange change;
  int32_t channelId;
  int32_t modifynum;
};
CAM_CHECK_SIZE(BatchNetworkChange, 396);
CAM_CHECK_AT(BatchNetworkChange, channelId, 388);

// Reply 8230.
constexpr int BATCH_RESULT_ENTRIES = 64;
struct BatchNetworkResult {
  int32_t word0;
  int32_t count;
  uint8_t reserved[8];
  struct Entry {
    char mac[48];
    int32_t result;
  } entry[BATCH_RESULT_ENTRIES];
};
CAM_CHECK_SIZE(BatchNetworkResult, 3344);
CAM_CHECK_AT(BatchNetworkResult, entry, 16);

// Request 3202.
struct ConnectionTest {
  char ipAddr[32];
  int32_t managePort;
  char userName[64];
  char password[36];  // at most 32 characters
  int32_t camProtocol;
  uint8_t zero[72];
};
CAM_CHECK_SIZE(ConnectionTest, 212);
CAM_CHECK_AT(ConnectionTest, userName, 36);
CAM_CHECK_AT(ConnectionTest, password, 100);
CAM_CHECK_AT(ConnectionTest, camProtocol, 136);

// Request 3227.
struct WebLoginTest {
  int32_t zero0;
  char ipAddr[32];
  int32_t managePort;
  char userName[64];
  char password[36];
  int32_t camProtocol;
  int32_t zero144;
};
CAM_CHECK_SIZE(WebLoginTest, 148);
CAM_CHECK_AT(WebLoginTest, managePort, 36);
CAM_CHECK_AT(WebLoginTest, password, 104);
CAM_CHECK_AT(WebLoginTest, camProtocol, 140);

// Detail block of the camera operation-log entries (detail kind 111).
constexpr int CAMERA_LOG_DETAIL_KIND = 111;
struct CameraLogDetail {
  int32_t code;  // 901 add, 902 delete, 903 edit
  char ipAddr[64];
  int32_t managePort;
  int32_t channel;  // counted from 1
  uint8_t zero76[64];
  char protocol[16];
  char transport[16];
  uint8_t syncTime;
  uint8_t zero173[3];
};
CAM_CHECK_SIZE(CameraLogDetail, 176);
CAM_CHECK_AT(CameraLogDetail, managePort, 68);
CAM_CHECK_AT(CameraLogDetail, protocol, 140);
CAM_CHECK_AT(CameraLogDetail, transport, 156);
CAM_CHECK_AT(CameraLogDetail, syncTime, 172);

// Request 1206.
struct ChannelPoe {
  int32_t channel;
  int32_t otherPoe;
};
CAM_CHECK_SIZE(ChannelPoe, 8);

// Request 3493 and reply 8493.
struct MonthMapQuery {
  int32_t streamType;
  int32_t year;
  int32_t month;
  char mask[64];
  uint8_t zero[4];
};
CAM_CHECK_SIZE(MonthMapQuery, 80);
CAM_CHECK_AT(MonthMapQuery, mask, 12);
struct MonthMapReply {
  int32_t word[33];
};
CAM_CHECK_SIZE(MonthMapReply, 132);

// Reply 7505 entry (64 of them), and reply 7507.
struct ChannelModelEntry {
  int32_t chnid;
  char ipaddr[32];
  char model[64];
  char fwversion[64];
};
CAM_CHECK_SIZE(ChannelModelEntry, 164);
CAM_CHECK_AT(ChannelModelEntry, model, 36);
CAM_CHECK_AT(ChannelModelEntry, fwversion, 100);

// Stored model table.
struct IpcProtocolRecord {
  int32_t id;
  char name[24];
  int32_t protocolFunction;
  int32_t enable;
  int32_t display_model;
};
CAM_CHECK_SIZE(IpcProtocolRecord, 40);
struct IpcModelRecord {
  int32_t id;
  int32_t protocol;
  char name[32];
  int32_t alarm_type;
  int32_t default_model;
};
CAM_CHECK_SIZE(IpcModelRecord, 48);
CAM_CHECK_AT(IpcModelRecord, protocol, 4);
ZRDB_RECORD_FAMILY(ipc_protocol, IpcProtocolRecord, "ipc_protocol")
ZRDB_RECORD_FAMILY(ipc_model, IpcModelRecord, "ipc_model")

// ================= Parameter relay =================

// Reply 8371.
constexpr int AUDIO_OPTIONS = 9;
constexpr int AUDIO_SAMPLE_RATES = 9;
constexpr int AUDIO_BITRATES = 16;
struct AudioSampleRate {
  int32_t sampleRateValue;
  int32_t bitrateCount;
  int32_t bitrate[AUDIO_BITRATES];
};
CAM_CHECK_SIZE(AudioSampleRate, 72);
struct AudioOption {
  int32_t encodeValue;
  int32_t sampleRateCount;
  AudioSampleRate sampleRate[AUDIO_SAMPLE_RATES];
};
CAM_CHECK_SIZE(AudioOption, 656);
struct AudioConfig {
  int32_t chnid;
  int32_t audioEnable;
  int32_t audioMode;
  int32_t denoise;
  int32_t encoding;
  int32_t sampleRate;
  int32_t inputGain;
  int32_t inputMode;
  int32_t audioGainControl;
  int32_t outputVolume;
  int32_t audioBitrate;
};
struct AudioInfo {
  int32_t res;
  int32_t support;
  int32_t supportMode;
  int32_t supportInputMode;
  int32_t optionCount;
  AudioOption option[AUDIO_OPTIONS];
  AudioConfig config;
};
CAM_CHECK_SIZE(AudioInfo, 5968);
CAM_CHECK_AT(AudioInfo, option, 20);
CAM_CHECK_AT(AudioInfo, config, 5924);

// Request 3372.
struct AudioSet {
  uint64_t mask;
  AudioConfig config;
  int32_t zero;
};
CAM_CHECK_SIZE(AudioSet, 56);
CAM_CHECK_AT(AudioSet, config, 8);

// Requests 3225 and 3226: CommonParam in core/camera_common_param.h.

// Request 3203; reply 8203 carries the 64-bit mask of channels applied.
struct StreamSet {
  char mask[64];
  int32_t zero64;
  int32_t transmitProtocol;
  int32_t syncTime;
  int32_t field76;
  int32_t videoTypeEnable;
  int32_t subEnable;
  int32_t fisheyeType;
  int32_t zero92;
  int32_t mainVideoType;
  int32_t mainResWidth;
  int32_t mainResHeight;
  int32_t mainFramerate;
  int32_t mainBitrate;
  int32_t IframeInterval;
  int32_t bitrateControl;
  int32_t SmartStream;
  int32_t SmartStreamLevel;
  int32_t recordtype;
  int32_t etframerate;
  int32_t etIframeinterval;
  int32_t etbitrate;
  int32_t zero148;
  int32_t subVideoType;
  int32_t subResWidth;
  int32_t subResHeight;
  int32_t subFramerate;
  int32_t subBitrate;
  int32_t subIframeInterval;
  int32_t SubBitrateControl;
  int32_t SubSmartStream;
  int32_t SubSmartStreamLevel;
  int32_t tail[4];
};
CAM_CHECK_SIZE(StreamSet, 204);
CAM_CHECK_AT(StreamSet, transmitProtocol, 68);
CAM_CHECK_AT(StreamSet, videoTypeEnable, 80);
CAM_CHECK_AT(StreamSet, mainVideoType, 96);
CAM_CHECK_AT(StreamSet, recordtype, 132);
CAM_CHECK_AT(StreamSet, subVideoType, 152);
CAM_CHECK_AT(StreamSet, SubSmartStreamLevel, 184);
CAM_CHECK_AT(StreamSet, tail, 188);

// Reply 8204.
constexpr int STREAM_RESOLUTIONS = 24;
struct StreamCaps {
  int32_t res[STREAM_RESOLUTIONS][2];
  int32_t framerateMax;
  int32_t framerateMin;
  int32_t bitrateMax;
  int32_t bitrateMin;
  int32_t videoType;
  int32_t curWidth;
  int32_t curHeight;
  int32_t framerate;
  int32_t bitrate;
  int32_t iframeinterval;
  int32_t bitrateCtrl;
  int32_t iframeIntervalMin;
  int32_t iframeIntervalMax;
};
CAM_CHECK_SIZE(StreamCaps, 61 * 4);
struct StreamParams {
  int32_t stateCode;
  int32_t id;
  StreamCaps main;
  StreamCaps sub;
  int32_t subEnable;
  int32_t audioEnable;
  int32_t videoTypeEnable;
  int32_t ipc_type;
  int32_t mainStream;
  int32_t subStream;
  int32_t SupportSmartStream;
  int32_t SmartStream;
  int32_t SmartStreamLevel;
  int32_t SubSupportSmartStream;
  int32_t SubSmartStream;
  int32_t SubSmartStreamLevel;
  int32_t mainGop;
  int32_t subGop;
  int32_t thirdGop;
  int32_t reserved[16];
};
CAM_CHECK_SIZE(StreamParams, 620);
CAM_CHECK_AT(StreamParams, main, 2 * 4);
CAM_CHECK_AT(StreamParams, main.framerateMax, 50 * 4);
CAM_CHECK_AT(StreamParams, main.curWidth, 55 * 4);
CAM_CHECK_AT(StreamParams, main.iframeIntervalMax, 62 * 4);
CAM_CHECK_AT(StreamParams, sub, 63 * 4);
CAM_CHECK_AT(StreamParams, sub.videoType, 115 * 4);
CAM_CHECK_AT(StreamParams, subEnable, 124 * 4);
CAM_CHECK_AT(StreamParams, thirdGop, 138 * 4);

// Reply 8221.
struct ImageEnhancement {
  int32_t id;
  int32_t word4;
  int32_t smartir;
  int32_t whiteblance;
  int32_t focusmode;
  int32_t antiblurry;
  int32_t wdrenable;
  int32_t wdrlevel;
  int32_t wdrstarthour;
  int32_t wdrstartminute;
  int32_t wdrstophour;
  int32_t wdrstopminute;
  int32_t regiontype;
  int32_t hlcmode;
  int32_t exclude;
  int32_t exposemode;
  char exposeregion[68];
  int32_t imageschemode;
  int32_t hlcday;
  int32_t hlcnight;
  int32_t redgain;
  int32_t bluegain;
  int32_t defogmode;
  int32_t defoglevel;
  int32_t dismode;
  int32_t exposetime;
  int32_t exposegain;
  int32_t wdraflevel;
  int32_t hlclevel;
  int32_t exposurectrl;
  int32_t enblur;
  int32_t deblur;
  char sdkversion[32];
  int32_t lensType;
  int32_t reduceVideoStuttering;
  int32_t word232;
};
CAM_CHECK_SIZE(ImageEnhancement, 236);
CAM_CHECK_AT(ImageEnhancement, exposemode, 60);
CAM_CHECK_AT(ImageEnhancement, exposeregion, 64);
CAM_CHECK_AT(ImageEnhancement, imageschemode, 132);
CAM_CHECK_AT(ImageEnhancement, hlclevel, 176);
CAM_CHECK_AT(ImageEnhancement, deblur, 188);
CAM_CHECK_AT(ImageEnhancement, sdkversion, 192);
CAM_CHECK_AT(ImageEnhancement, lensType, 224);
CAM_CHECK_AT(ImageEnhancement, reduceVideoStuttering, 228);

// Request 3280.
struct ImageEnhancementSet {
  int32_t channel[64];  // channel list, -1 after its end
  int32_t type;
  int32_t modelType;
  int32_t aflevel;
  int32_t scenes;
  int32_t irBalanceMode;
  int32_t reduceMotionBlur;
  int32_t defogMode;
  int32_t antiFogIntensity;
  int32_t whitebalanceMode;
  int32_t whitebalanceRedGain;
  int32_t whitebalanceBlueGain;
  int32_t exposureMode;
  int32_t exposureTime;
  int32_t exposureGain;
  int32_t blcRegion;
  int32_t blcRegionRange;
  char blcRegionArea[68];
  int32_t wdrMode;
  int32_t wdrStartHour;
  int32_t wdrStartMin;
  int32_t wdrEndHour;
  int32_t wdrEndMin;
  int32_t wdrLevel;
  int32_t hlcMode;
  int32_t hlcLevel;
  uint8_t reserved[68];
};
CAM_CHECK_SIZE(ImageEnhancementSet, 488);
CAM_CHECK_AT(ImageEnhancementSet, type, 256);
CAM_CHECK_AT(ImageEnhancementSet, scenes, 268);
CAM_CHECK_AT(ImageEnhancementSet, blcRegionArea, 320);
CAM_CHECK_AT(ImageEnhancementSet, wdrMode, 388);

// Reply 8223.
struct ImageDisplay {
  int32_t id;
  int32_t word4;
  int32_t colorkiller;
  int32_t modestarthour;
  int32_t modestartminute;
  int32_t modestophour;
  int32_t modestopminute;
  int32_t exposurectrl;
  int32_t lighttype;
  int32_t mirctrl;
  int32_t localdisplay;
  int32_t ircutaddaytonight;
  int32_t ircutadnighttoday;
  int32_t corridormode;
  int32_t imagerotation;
  uint8_t reserved60[8];
  int32_t smartIRType;
  int32_t nearIRLevel;
  int32_t farIRLevel;
  int32_t midIRLevel;
  int32_t lencorrect;
  int32_t smartIrMath;
  int32_t smartIrLimit;
  char chipninterface[64];
  int32_t nearSmartirValue;
  int32_t farSmartirValue;
  int32_t midSmartirValue;
  int32_t lenCorrectType;
  int32_t fovadjust;
  char sensortype[16];
  char productmodel[32];
  char softversion[32];
  int32_t smokeddomecover;
  int32_t smartwhitestrength;
  int32_t dnRefocus;
  char sdkversion[32];
  int32_t structuretype;
  int32_t keepCorrectAspectRatio;
  int32_t dayNightSens;
  int32_t nightDaySens;
  int32_t zoomLimit;
  uint8_t reserved324[40];
};
CAM_CHECK_SIZE(ImageDisplay, 364);
CAM_CHECK_AT(ImageDisplay, imagerotation, 56);
CAM_CHECK_AT(ImageDisplay, smartIRType, 68);
CAM_CHECK_AT(ImageDisplay, chipninterface, 96);
CAM_CHECK_AT(ImageDisplay, nearSmartirValue, 160);
CAM_CHECK_AT(ImageDisplay, sensortype, 180);
CAM_CHECK_AT(ImageDisplay, productmodel, 196);
CAM_CHECK_AT(ImageDisplay, softversion, 228);
CAM_CHECK_AT(ImageDisplay, smokeddomecover, 260);
CAM_CHECK_AT(ImageDisplay, sdkversion, 272);
CAM_CHECK_AT(ImageDisplay, structuretype, 304);
CAM_CHECK_AT(ImageDisplay, zoomLimit, 320);

// Request 3224.
struct ImageDisplaySet {
  int32_t id;
  int32_t type;
  int32_t colorkiller;
  int32_t modestarthour;
  int32_t modestartminute;
  int32_t modestophour;
  int32_t modestopminute;
  int32_t exposurectrl;
  int32_t lighttype;
  int32_t mirctrl;
  int32_t localdisplay;
  int32_t ircutaddaytonight;
  int32_t ircutadnighttoday;
  int32_t corridormode;
  int32_t imagerotation;
  int32_t smartIRType;
  int32_t nearIRLevel;
  int32_t farIRLevel;
  int32_t midIRLevel;
  int32_t lencorrect;
  int32_t smartIrMath;
  int32_t smartIrLimit;
  int32_t nearSmartirValue;
  int32_t farSmartirValue;
  int32_t midSmartirValue;
  int32_t lenCorrectType;
  int32_t fovadjust;
  int32_t smokeddomecover;
  int32_t smartwhitestrength;
  int32_t dnRefocus;
  int32_t keepCorrectAspectRatio;
  int32_t dayNightSens;
  int32_t nightDaySens;
  int32_t zoomLimit;
  int32_t saveCorridor;
  int32_t whiteLedLevel;
  int32_t whiteledLightCtrl;
  int32_t whiteledSensitivity;
  int32_t whiteledDelay;
  int32_t whiteledStart;
  int32_t whiteledStop;
  int32_t whiteledBrightnessCtrl;
  int32_t whiteledBrightness;
  int32_t scenes;
  int32_t powerlineFreq;
  int32_t dnMode;
  int32_t d2nSensitivity;
  int32_t n2dSensitivity;
  int32_t nightStartHour;
  int32_t nightStartMinute;
  int32_t nightEndHour;
  int32_t nightEndMinute;
  int32_t smartIrMode;
  int32_t irLedLevel;
  int32_t imageRotation;
  uint8_t reserved[144];
};
CAM_CHECK_SIZE(ImageDisplaySet, 364);
CAM_CHECK_AT(ImageDisplaySet, saveCorridor, 136);
CAM_CHECK_AT(ImageDisplaySet, imageRotation, 216);

// Reply 8278 and request 3279.
constexpr int DAY_NIGHT_PERIODS = 7;
constexpr int DAY_NIGHT_EFFECTIVE = 10;
struct DayNightPeriod {
  int32_t id;
  int32_t enable;
  int32_t startHour;
  int32_t startMinute;
  int32_t endHour;
  int32_t endMinute;
  int32_t exposureLevel;
  int32_t maxShutter;
  int32_t minShutter;
  int32_t gainLevel;
  int32_t irCutLatency;
  int32_t irCutState;
  int32_t irLedState;
  int32_t colorMode;
};
CAM_CHECK_SIZE(DayNightPeriod, 56);
struct TimeSpan {
  char startTime[32];
  char endTime[32];
};
struct DayNightSchedule {
  int32_t chnid;
  int32_t type;
  DayNightPeriod period[DAY_NIGHT_PERIODS];
  int32_t hasSche;
  int32_t templateId;
  int32_t scenes;
  int32_t limitGain;
  int32_t irCutInterval;
  int32_t irCutStatus;
  int32_t irLedStatus;
  int32_t effectiveCount;
  TimeSpan effective[DAY_NIGHT_EFFECTIVE];
  uint8_t reserved[16];
};
CAM_CHECK_SIZE(DayNightSchedule, 1088);
CAM_CHECK_AT(DayNightSchedule, period, 8);
CAM_CHECK_AT(DayNightSchedule, hasSche, 400);
CAM_CHECK_AT(DayNightSchedule, effective, 432);

// Reply 8271, requests 3288 and 3284.
constexpr int REGION_AREAS = 20;
struct RegionArea {
  int32_t enable;
  int32_t left;
  int32_t right;
  int32_t bottom;
};
struct RegionInfo {
  int32_t chnid;
  int32_t count;
  char sdkversion[32];
  RegionArea area[REGION_AREAS];
  int32_t reserved;
};
CAM_CHECK_SIZE(RegionInfo, 364);
CAM_CHECK_AT(RegionInfo, area, 40);
struct RegionSet {
  int32_t chnid;
  int32_t count;
  RegionArea area[REGION_AREAS];
  uint8_t reserved[256];
};
CAM_CHECK_SIZE(RegionSet, 584);
struct RegionAreaDelete {
  int32_t chan_id;
  int32_t area_id;
};
CAM_CHECK_SIZE(RegionAreaDelete, 8);

// Camera-side weekly schedules use the shared schedule record (8 days of
// 48 sections, core/web_utils.h).
constexpr int CAM_SCHEDULE_DAYS = SCHEDULE_DAYS;
constexpr int CAM_SCHEDULE_SECTIONS = SCHEDULE_SECTIONS;

// Sections with exposure settings (requests 3275 and 3282).
struct CamExposureSection {
  char startTime[32];
  char endTime[32];
  int32_t actionType;
  int32_t exposureTime;
  int32_t gainLevel;
};
CAM_CHECK_SIZE(CamExposureSection, 76);
struct CamExposureSchedule {
  CamExposureSection section[CAM_SCHEDULE_DAYS][CAM_SCHEDULE_SECTIONS];
};

// Replies 8273/8277 and requests 3281/3283.
struct ChannelSchedule {
  int32_t channel;
  ScheduleRecord schedule;
};
CAM_CHECK_SIZE(ChannelSchedule, 26180);
// Reply 8275 and request 3282.
struct ChannelExposureSchedule {
  int32_t channel;
  CamExposureSchedule schedule;
};
CAM_CHECK_SIZE(ChannelExposureSchedule, 29188);

// Reply 8358; request 3366 adds the copy mask.
struct DetectionInfo {
  int32_t chnid;
  int32_t enable;
  int32_t sensitivity;
  int32_t minsize;
  int32_t mintime;
  int32_t adaptability;
  char map_mask[300];
  ScheduleRecord effective;
  int32_t isNtPlatform;
};
CAM_CHECK_SIZE(DetectionInfo, 26504);
CAM_CHECK_AT(DetectionInfo, effective, 324);
struct DetectionSet {
  DetectionInfo info;
  uint64_t copyMask;
};
CAM_CHECK_SIZE(DetectionSet, 26512);
CAM_CHECK_AT(DetectionSet, copyMask, 26504);

// Reply 8294; request 3375 adds the channel mask.
struct AutoTracking {
  int32_t chnid;
  int32_t enable;
  int32_t show;
  int32_t sensitivity;
  int32_t time;
  int32_t manual_tracking;
  int32_t zoom_mode;
  int32_t zoom_number;
  char area[300];
  int32_t humanVehicleSupport;
  int32_t trackingObject;
  int32_t reportMotion;
  ScheduleRecord schedule;
};
CAM_CHECK_SIZE(AutoTracking, 26520);
CAM_CHECK_AT(AutoTracking, humanVehicleSupport, 332);
CAM_CHECK_AT(AutoTracking, schedule, 344);
struct AutoTrackingSet {
  AutoTracking info;
  uint64_t mask;
};
CAM_CHECK_SIZE(AutoTrackingSet, 26528);
CAM_CHECK_AT(AutoTrackingSet, mask, 26520);

// Request 3360.
struct TextQuery {
  int32_t chnid;
  int32_t mainType;
  int32_t subType;
  char time[64];
};
CAM_CHECK_SIZE(TextQuery, 76);

// Reply 6213 and request 1216.
struct WatermarkInfo {
  int32_t chnid;
  int32_t enable;
  int32_t word8;
  char watermark[32];
};
CAM_CHECK_SIZE(WatermarkInfo, 44);
struct WatermarkSet {
  int32_t chnid;
  int32_t enable;
  int32_t word8;
  char watermark[32];
  char copy[65];
  uint8_t pad[3];
};
CAM_CHECK_SIZE(WatermarkSet, 112);
CAM_CHECK_AT(WatermarkSet, copy, 44);

// Requests 1217 (first two words) and 1218, reply 6217.
struct EventStream {
  int32_t chnid;
  int32_t fisheyeType;
  int32_t enable;
  int32_t framerate;
  int32_t bitrate;
  int32_t iframeinterval;
};
CAM_CHECK_SIZE(EventStream, 24);
struct EventStreamQuery {
  int32_t chnid;
  int32_t fisheyeType;
};

// Reply 6219.
struct LprNightMode {
  int32_t chnid;
  int32_t nightMode;
};

// Reply 8376.
struct IpcSystemInfo {
  int32_t res;
  int32_t audioSupport;
  int32_t audioSupportMode;
  int32_t audioLineInputSupport;
  int32_t systemSpeakerSupport;
  int32_t systemManualSpeedSupport;
  uint8_t reserved24[140];
  uint8_t systemAutoTrackingSupport;
  uint8_t reserved165[723];
};
CAM_CHECK_SIZE(IpcSystemInfo, 888);
CAM_CHECK_AT(IpcSystemInfo, systemAutoTrackingSupport, 164);

// Request 3377 and reply 8377.
struct CustomParamQuery {
  int32_t chnid;
  char url[256];
};
CAM_CHECK_SIZE(CustomParamQuery, 260);
struct CustomParamReply {
  int32_t res;
  int32_t chnid;
  char data[512];
};
CAM_CHECK_SIZE(CustomParamReply, 520);

// Request 4002; reply 9002 carries its text from byte 16.
struct QtCommand {
  char cmd[100];
};
constexpr size_t QT_RESULT_TEXT_AT = 16;

// Stored exposure list of a channel ("/2048", "/2049").
constexpr int EXPOSURE_ENTRIES = 16;
struct ExposureRecord {
  int32_t channel;
  int32_t count;
  struct Entry {
    int32_t exposureTime;
    int32_t gainLevel;
  } entry[EXPOSURE_ENTRIES];
};
CAM_CHECK_SIZE(ExposureRecord, 136);
ZRDB_RECORD_FAMILY(exposure, ExposureRecord, "exposure")
