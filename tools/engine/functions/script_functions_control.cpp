// Script functions that steer evaluation: Eval, Apply, Import, Assert,
// Select and Default, the tests of values, the script's own name and
// folder, WriteFile and its kin, the settings that only tune AviSynth
// itself, and the refusal of plugins.
#include "tools/engine/filter.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/plugins/plugins.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <set>

namespace avs {

namespace fs = std::filesystem;

namespace {

// --- plugins ---------------------------------------------------------------

// The last part of a Windows or Linux path.
std::string FileNameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Loading a plugin whose functions the engine carries itself does nothing
// (they are always there, as AviSynth's autoloaded plugins are); any other
// plugin cannot be loaded.
Function PluginLoader() {
  return {"path:s more:.*",
          [](Call& call) -> Value {
            const std::string path = call.String(0, "");
            if (IsCarriedPluginFile(path)) return {};
            call.Fail("cannot load " + FileNameOf(path) + ": plugins cannot be loaded here");
          },
          true};
}

// --- WriteFile and its kin ---------------------------------------------------

enum class WriteWhen { EachFrame, EachFrameIf, End };

// Writes a line of the expressions' values to a file as frames are read
// (WriteFile, WriteFileIf, with current_frame set to the frame's number) or
// when the clip is let go (WriteFileEnd). The expressions see the script's
// variables as they stood at the call.
class FileWriter : public VideoFilter {
 public:
  FileWriter(Call& call, WriteWhen when, bool append)
      : VideoFilter(call.Clip(0)->info(), call.origin, {call.Clip(0)}),
        variables_(call.interp.Snapshot()),
        path_(call.Path(call.String(1, ""))),
        dir_(call.scriptDir),
        when_(when),
        append_(append) {
    for (const Value& v : call.rest) expressions_.push_back(v.asString());
    if (when_ == WriteWhen::EachFrameIf && expressions_.empty()) call.Fail("needs a condition");
    if (when_ != WriteWhen::End && !append_) Write("", false);
  }

  ~FileWriter() override {
    if (when_ != WriteWhen::End) return;
    // Nothing can report a failure this late; a line that cannot be made or
    // written is left out.
    try {
      Write(Line(), append_);
    } catch (const ScriptError&) {
    }
  }

  // WriteFileEnd shows its input's frames unchanged; the others write a
  // line each time a frame is asked for.
  const Clip& PictureOf() const override { return when_ == WriteWhen::End ? input(0) : *this; }
  std::unique_ptr<VideoStream> OpenVideo(Reading& reading) const override {
    return FramesFrom(
        [this, in = Inputs(reading, *this)](int64_t n) {
          FrameRead(n);
          return in.Frame(0, n);
        },
        false);
  }

 private:
  void FrameRead(int64_t number) const {
    ApplyFrameVariables(*variables_);
    variables_->SetVariable("current_frame", Value(number), true);
    std::size_t first = 0;
    if (when_ == WriteWhen::EachFrameIf) {
      Value condition = Evaluate(expressions_[0]);
      if (!condition.isBool()) Fail("the condition \"" + expressions_[0] + "\" is " + condition.typeName() + ", not a bool");
      if (!condition.asBool()) return;
      first = 1;
    }
    Write(Line(first), true);
  }

  Value Evaluate(const std::string& expression) const { return variables_->EvalExpression(expression, origin(), dir_); }

  std::string Line(std::size_t first = 0) const {
    std::string line;
    for (std::size_t i = first; i < expressions_.size(); ++i) line += Evaluate(expressions_[i]).toText();
    return line + "\n";
  }

  void Write(const std::string& text, bool append) const { WriteToFile(path_, text, append, origin()); }

  std::shared_ptr<Interpreter> variables_;
  std::string path_, dir_;
  std::vector<std::string> expressions_;
  WriteWhen when_;
  bool append_;
};

Function Writer(WriteWhen when, bool appendByDefault) {
  return {"clip:c filename:s expression:s* ?append:b ?flush:b", [when, appendByDefault](Call& call) -> Value {
            return std::make_shared<FileWriter>(call, when, call.Bool(3, appendByDefault));
          }};
}

// --- the rest ----------------------------------------------------------------

Function Test(bool (*test)(const Value&)) {
  return {"?value:.", [test](Call& call) -> Value { return Value(test(call.args[0])); }};
}

// Functions that only tune AviSynth's own memory, threads and caches: here
// they change nothing, and a script that calls them runs as it would.
Function Ignored(const char* params, Value result = {}) {
  return {params, [result](Call&) -> Value { return result; }, true};
}

Value Select(Call& call) {
  const int64_t index = call.Int(0, 0);
  if (index < 0 || static_cast<uint64_t>(index) >= call.rest.size())
    call.Fail("the index " + std::to_string(index) + " is out of range: there are " + std::to_string(call.rest.size()) +
              " values to choose from");
  return call.rest[static_cast<std::size_t>(index)];
}

Value Import(Call& call) {
  Value result = call.interp.RunFile(call.Path(call.String(0, "")), call.origin);
  for (const Value& more : call.rest) result = call.interp.RunFile(call.Path(more.asString()), call.origin);
  return result;
}

// SetWorkingDir: later relative names resolve against this folder; 0 when
// it exists, -1 (and nothing changed) otherwise.
Value SetWorkingDir(Call& call) {
  std::error_code ec;
  fs::path dir = fs::absolute(call.Path(call.String(0, "")), ec);
  if (ec || !fs::is_directory(dir, ec)) return Value(-1);
  std::string text = dir.lexically_normal().string();
  if (text.empty() || text.back() != '/') text += '/';
  call.interp.SetCurrentDir(text);
  return Value(0);
}

Function ScriptPath(std::string (*part)(const Interpreter&)) {
  return {"", [part](Call& call) -> Value { return Value(part(call.interp)); }};
}

// Frame properties (AviSynth+'s propGet..., propSet...): the engine's frames
// carry none, and a script that reads or writes them is told so rather than
// that the name is unknown.
const char* const kFramePropertyFunctions[] = {
    "propset",       "propsetint",     "propsetfloat",      "propsetstring", "propsetarray",  "propsetclip",
    "propgetany",    "propgetint",     "propgetfloat",      "propgetstring", "propgetclip",   "propgetasarray",
    "propgetall",    "propdelete",     "propshow",          "propclearall",  "propcopy",      "propgetdatasize",
    "propnumelements", "propnumkeys",  "propgetkeybyindex", "propgettype",
};

Value FramePropertiesRefused(Call& call) {
  call.Fail("frame properties are not supported: the frames here carry none");
}

}  // namespace

bool IsKnownPluginFunction(const std::string& lowerName) {
  static const std::set<std::string> kNames = {
      "qtgmc", "mctemporaldenoise", "mctemporaldenoisepp", "smdegrain", "temporaldegrain", "nnedi", "nnedi2",
      "nnedi3", "nnedi3_rpow2", "znedi3", "eedi2", "eedi3", "eedi3_rpow2",
      "sangnom", "sangnom2", "tdeint", "tmm", "tmm2", "telecide", "decimate", "multidecimate", "fielddeinterlace",
      "yadifmod", "fft3dfilter", "fft3dgpu", "dfttest", "knlmeanscl", "bm3d",
      "dgsource", "directshowsource2", "repair", "forwardclense", "backwardclense", "verticalcleaner",
      "msuper", "manalyse", "mdegrain1", "mdegrain2", "mdegrain3", "mdegrainn", "mcompensate", "mflowfps", "mflowblur",
      "mflowinter", "mblockfps", "mrecalculate", "mmask", "mvanalyse", "mvdegrain1", "mvdegrain2", "mvdegrain3",
      "mvflowfps", "awarpsharp", "awarpsharp2", "warpsharp", "limitedsharpenfaster", "lsfmod", "seesaw", "deblock",
      "deblock_qed", "gradfun2db", "gradfun3", "f3kdb", "flash3kyuu_deband",
      "colormatrix", "autolevels", "msharpen", "msmooth", "undot", "fluxsmootht", "fluxsmoothst", "ttempsmooth",
      "degrainmedian", "vinverse", "santiag", "hdragc", "deen", "convolution3d", "mipsmooth", "frfun7", "neat_video",
      "checkmate", "tcomb", "despot", "depan", "depanestimate", "depanstabilize", "vsfilter", "xysubfilter",
      "avstp", "masktools", "rgtools", "nicaudio", "nicac3source", "nicdtssource", "nicmpasource", "bassaudiosource",
      "soxfilter", "timestretchplugin", "addgrain", "addgrainc", "gaussresize", "medianblend", "medianblurtemporal",
      "binomialblur", "averageblur", "hshear", "vshear", "rotate", "dehalo_alpha", "finesharp", "removedirt",
      "removespots", "descratch", "dup", "dedup", "blindpp", "cnr2", "fluxsmooth", "smoothlevels", "autocrop"};
  // MaskTools' functions all begin with "mt_".
  return kNames.count(lowerName) > 0 || lowerName.starts_with("mt_");
}

bool IsUnsupportedCoreFunction(const std::string& lowerName) {
  // 4:1:1 pictures, three resizers whose kernels are not documented, a
  // runtime scope of their own, pixel-type numbers and a sound player.
  static const std::set<std::string> kNames = {
      "converttoyv411", "converttoyuv411",           "sinpowerresize", "sinclin2resize", "userdefined2resize",
      "usevar",         "buildpixeltype", "colorspacenametopixeltype", "multioverlay",   "soundout"};
  return kNames.count(lowerName) > 0;
}

void RegisterScriptControlFunctions(std::map<std::string, Function>& table) {
  for (const char* name : kFramePropertyFunctions) table[name] = {"values:.*", FramePropertiesRefused};
  table["isbool"] = Test([](const Value& v) { return v.isBool(); });
  table["isint"] = Test([](const Value& v) { return v.isInt(); });
  // An int counts as a float too, as in AviSynth.
  table["isfloat"] = Test([](const Value& v) { return v.isNumber(); });
  table["isstring"] = Test([](const Value& v) { return v.isString(); });
  table["isclip"] = Test([](const Value& v) { return v.isClip(); });
  table["defined"] = Test([](const Value& v) { return v.defined(); });
  table["default"] = {"?value:. ?fallback:.", [](Call& call) -> Value { return call.args[call.args[0].defined() ? 0 : 1]; }};
  table["undefined"] = {"", [](Call&) -> Value { return {}; }};
  table["nop"] = {"", [](Call&) -> Value { return Value(0); }};
  table["exist"] = {"path:s", [](Call& call) -> Value {
                      std::error_code ec;
                      return Value(fs::exists(call.Path(call.String(0, "")), ec));
                    }};
  table["varexist"] = {"name:s", [](Call& call) -> Value { return Value(call.interp.Variable(call.String(0, "")) != nullptr); }};
  const Function functionExists = {"name:s", [](Call& call) -> Value { return Value(call.interp.HasFunction(call.String(0, ""))); }};
  table["functionexists"] = functionExists;
  table["internalfunctionexists"] = functionExists;

  // Eval("text"[, name]): errors in the text name `name`, or else the line
  // that called Eval.
  table["eval"] = {"text:s ?name:s", [](Call& call) -> Value {
                     return call.interp.EvalStatements(call.String(0, ""), call.String(1, call.origin + ", in Eval"));
                   }};
  table["apply"] = {"function:s arguments:.*", [](Call& call) -> Value {
                      return call.interp.CallFunction(call.String(0, ""), call.rest, call.origin);
                    }};
  table["import"] = {"path:s more_paths:s* ?utf8:b", Import};
  table["assert"] = {"condition:b ?message:s", [](Call& call) -> Value {
                       if (!call.Bool(0, false)) throw ScriptError(call.origin + ": " + call.String(1, "Assert: assertion failed"));
                       return {};
                     }};
  table["select"] = {"index:i values:.*", Select};

  table["scriptname"] = ScriptPath([](const Interpreter& in) { return in.CurrentScript(); });
  table["scriptfile"] = ScriptPath([](const Interpreter& in) { return fs::path(in.CurrentScript()).filename().string(); });
  table["scriptdir"] = ScriptPath([](const Interpreter& in) {
    return in.CurrentScript().empty() ? in.CurrentDir() : fs::path(in.CurrentScript()).parent_path().string() + "/";
  });
  for (const char* utf8 : {"scriptnameutf8", "scriptfileutf8", "scriptdirutf8"})
    table[utf8] = table[std::string(utf8).substr(0, std::string(utf8).size() - 4)];
  table["setworkingdir"] = {"path:s", SetWorkingDir};
  table["versionnumber"] = {"", [](Call&) -> Value { return Value(2.60); }};
  table["versionstring"] = {"", [](Call&) -> Value { return Value("AviSynth 2.60, Kelvarion script engine"); }};
  // The same version as VersionNumber, major.minor.bugfix 2.60.0.
  table["isversionorgreater"] = {"major:i minor:i ?bugfix:i", [](Call& call) -> Value {
                                   const std::array<int64_t, 3> asked{call.Int(0, 0), call.Int(1, 0), call.Int(2, 0)};
                                   return Value(std::array<int64_t, 3>{2, 60, 0} >= asked);
                                 }};
  // GetProcessInfo(0): the program's bitness; (1): whether a 32-bit program
  // runs on a 64-bit system, never here.
  table["getprocessinfo"] = {"?type:i", [](Call& call) -> Value {
                               const int64_t type = call.Int(0, 0);
                               if (type != 0 && type != 1) call.Fail("type must be 0 or 1");
                               return Value(type == 0 ? static_cast<int64_t>(8 * sizeof(void*)) : int64_t{0});
                             }};
  // The log: LogMsg writes its message to the standard error, the only
  // target SetLogParams takes.
  table["setlogparams"] = {"?target:s ?level:i", [](Call& call) -> Value {
                             const std::string target = Lower(call.String(0, "stderr"));
                             if (target != "stderr") call.Fail("the log can only go to stderr");
                             return {};
                           }};
  table["logmsg"] = {"message:s level:i", [](Call& call) -> Value {
                       std::fprintf(stderr, "%s\n", call.String(0, "").c_str());
                       return {};
                     }};

  table["setmemorymax"] = {"?megabytes:i", [](Call& call) -> Value { return Value(call.Int(0, 0) > 0 ? call.Int(0, 0) : 1024); }};
  table["setfiltermtmode"] = Ignored("filter:s mode:i ?force:b");
  table["setmtmode"] = Ignored("?mode:i ?threads:i");
  table["setcachemode"] = Ignored("?mode:i");
  table["setplanarlegacyalignment"] = Ignored("?mode:b");
  table["setmaxcpu"] = Ignored("?features:s");
  table["prefetch"] = {"clip:c ?threads:i ?frames:i", [](Call& call) -> Value { return call.args[0]; }, true};
  table["setcachehints"] = {"clip:c ?cachehints:i ?frame_range:i", [](Call& call) -> Value { return call.args[0]; }};
  table["setgraphanalysis"] = Ignored("?enable:b");

  for (const char* loader : {"loadplugin", "loadcplugin", "load_stdcall_plugin", "loadvirtualdubplugin", "loadvfapiplugin"})
    table[loader] = PluginLoader();
  table["addautoloaddir"] = {"folder:s ?first:b", [](Call& call) -> Value {
                               call.Fail("cannot load plugins from " + call.String(0, "") + ": plugins cannot be loaded here");
                             }};

  table["writefile"] = Writer(WriteWhen::EachFrame, true);
  table["writefileif"] = Writer(WriteWhen::EachFrameIf, true);
  table["writefileend"] = Writer(WriteWhen::End, false);
}

}  // namespace avs
