// Counterparts of AviSynth plugins whose algorithms libavfilter carries,
// under the plugins' own function names and parameters, one plugin family a
// file, each registering its own functions. A script written for the plugin
// runs unchanged; where libavfilter's filter gives other results than the
// plugin, the help page says so.
#pragma once

#include "tools/engine/functions/families.h"

#include <string>

namespace avs {

void RegisterTivtcPlugin(FunctionTable& table);        // TFM, TDecimate: fieldmatch, decimate
void RegisterYadifPlugins(FunctionTable& table);       // Yadif, yadifmod2: yadif
void RegisterBwdifPlugin(FunctionTable& table);        // BWDIF: bwdif
void RegisterRemoveGrainPlugin(FunctionTable& table);  // RemoveGrain, Clense: removegrain, tmedian
void RegisterMedianPlugin(FunctionTable& table);       // Median, TemporalMedian: xmedian, tmedian
void RegisterMedianBlurPlugin(FunctionTable& table);   // MedianBlur: median
void RegisterVariableBlurPlugin(FunctionTable& table); // GaussianBlur: gblur
void RegisterHqdn3dPlugin(FunctionTable& table);       // hqdn3d
void RegisterCasPlugin(FunctionTable& table);          // CAS: cas
void RegisterAveragePlugin(FunctionTable& table);      // Average: mix
void RegisterVsfilterPlugin(FunctionTable& table);     // TextSub: subtitles (libass)
void RegisterVobSubPlugin(FunctionTable& table);       // VobSub: DVD subtitles (libavformat, libavcodec)
void RegisterAssrenderPlugin(FunctionTable& table);    // assrender: subtitles (libass)
void RegisterDgdecodePlugin(FunctionTable& table);     // MPEG2Source (libavcodec), LumaYV12 (lutyuv)
void RegisterFfms2Plugin(FunctionTable& table);        // FFVideoSource, FFAudioSource, FFmpegSource2 (libavformat)
void RegisterLsmashPlugin(FunctionTable& table);       // LSMASHVideoSource, LWLibavVideoSource... (libavformat)
void RegisterDss2Plugin(FunctionTable& table);         // DSS2 (libavformat)

// Every plugin family's functions.
void RegisterPluginFunctions(FunctionTable& table);

// Whether `path` names the file of a plugin whose functions the engine
// carries itself (TIVTC.dll, C:\AviSynth\plugins\RgTools64.dll,
// libtivtc.so), so that LoadPlugin of it succeeds and does nothing.
bool IsCarriedPluginFile(const std::string& path);

}  // namespace avs
