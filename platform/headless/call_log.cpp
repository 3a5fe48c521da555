// The ordered log of every call the code under test makes to the headless
// backend.
#include "platform/headless/headless_internal.h"

namespace hl {
namespace detail {

LoggedCall::LoggedCall(Op op, std::string arg1, std::string arg2) {
  State& s = S();
  generation_ = s.logGeneration;
  index_ = s.calls.size();
  s.calls.push_back(Call{op, std::move(arg1), std::move(arg2), 0});
}

int64_t LoggedCall::Done(int64_t result) {
  State& s = S();
  if (s.logGeneration == generation_ && index_ < s.calls.size()) s.calls[index_].result = result;
  return result;
}

void LoggedCall::SetArg2(std::string arg2) {
  State& s = S();
  if (s.logGeneration == generation_ && index_ < s.calls.size()) s.calls[index_].arg2 = std::move(arg2);
}

int64_t Log(Op op, std::string arg1, std::string arg2, int64_t result) {
  S().calls.push_back(Call{op, std::move(arg1), std::move(arg2), result});
  return result;
}

}  // namespace detail

using detail::S;

const char* OpName(Op op) {
  switch (op) {
    case Op::kGetFileAttribs: return "GetFileAttribs";
    case Op::kCreateDir: return "CreateDir";
    case Op::kRemoveDir: return "RemoveDir";
    case Op::kDeleteFile: return "DeleteFile";
    case Op::kCopyFile: return "CopyFile";
    case Op::kGetFreeBytes: return "GetFreeBytes";
    case Op::kGetWindowsDir: return "GetWindowsDir";
    case Op::kFindFirst: return "FindFirst";
    case Op::kFindNext: return "FindNext";
    case Op::kFindEnd: return "FindEnd";
    case Op::kOpenForRead: return "OpenForRead";
    case Op::kReadBytes: return "ReadBytes";
    case Op::kGetFileLength: return "GetFileLength";
    case Op::kCloseFile: return "CloseFile";
    case Op::kProgramsFolder: return "ProgramsFolder";
    case Op::kComInitialize: return "ComInitialize";
    case Op::kCreateShellLink: return "CreateShellLink";
    case Op::kSetPath: return "SetPath";
    case Op::kSetDescription: return "SetDescription";
    case Op::kSetWorkingDirectory: return "SetWorkingDirectory";
    case Op::kQueryPersistFile: return "QueryPersistFile";
    case Op::kShellLinkRelease: return "ShellLinkRelease";
    case Op::kAnsiToWide: return "AnsiToWide";
    case Op::kPersistFileSave: return "PersistFileSave";
    case Op::kPersistFileRelease: return "PersistFileRelease";
    case Op::kStartProgram: return "StartProgram";
    case Op::kPumpPaint: return "PumpPaint";
    case Op::kGetFileKind: return "GetFileKind";
    case Op::kGetFullPath: return "GetFullPath";
    case Op::kCreateDialog: return "CreateDialog";
    case Op::kRunModal: return "RunModal";
    case Op::kEndModal: return "EndModal";
    case Op::kDestroyWindow: return "DestroyWindow";
    case Op::kShowWindow: return "ShowWindow";
    case Op::kSetText: return "SetText";
    case Op::kSendMessage: return "SendMessage";
    case Op::kActivate: return "Activate";
    case Op::kMessageBox: return "MessageBox";
    case Op::kCommonControls: return "CommonControls";
    case Op::kErrorMode: return "ErrorMode";
    case Op::kLoadIcon: return "LoadIcon";
    case Op::kBeginPaint: return "BeginPaint";
    case Op::kEndPaint: return "EndPaint";
    case Op::kDrawIcon: return "DrawIcon";
    case Op::kHardenDllSearch: return "HardenDllSearch";
  }
  return "?";
}

const std::vector<Call>& Calls() { return S().calls; }

std::vector<Call> CallsOf(Op op) {
  std::vector<Call> out;
  for (const Call& call : S().calls) {
    if (call.op == op) out.push_back(call);
  }
  return out;
}

void ClearCalls() {
  S().calls.clear();
  ++S().logGeneration;
}

std::string DumpCalls() {
  std::string out;
  for (const Call& call : S().calls) {
    out += OpName(call.op);
    if (!call.arg1.empty()) out += " " + call.arg1;
    if (!call.arg2.empty()) out += " | " + call.arg2;
    out += " -> " + std::to_string(call.result) + "\n";
  }
  return out;
}

}  // namespace hl
