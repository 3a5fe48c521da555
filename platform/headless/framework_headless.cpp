// fw:: window primitives over plain objects. A window handle is a pointer to
// an hl::Window owned by the machine; windows stay (marked destroyed) until
// hl::Reset so that tests can look at them after the code is done with them.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "platform/framework.h"
#include "platform/framework_backend.h"
#include "platform/headless/headless_internal.h"

using hl::Op;
using hl::Window;
using hl::detail::Log;
using hl::detail::LoggedCall;
using hl::detail::S;
using hl::detail::Strike;
using hl::detail::WindowName;

namespace {

using hl::TemplateLayout;

// What a test registered for this template; nullptr if nothing.
const TemplateLayout* FindTemplate(int id) {
  const auto& templates = S().templates;
  auto it = templates.find(id);
  return it == templates.end() ? nullptr : &it->second;
}

// The model emulates the messages the framework and its callers send, no
// others: a message it does not know returns 0.
constexpr unsigned kCbGetLbTextLen = 0x0149;

fw::WindowHandle H(Window* window) { return reinterpret_cast<fw::WindowHandle>(window); }

// The window behind a handle; nullptr for nullptr and for a handle that is no
// window of this machine (made up, or kept from before a Reset): like an
// invalid HWND, it makes the call fail. The handle is compared, never followed.
Window* W(fw::WindowHandle handle) {
  if (!handle) return nullptr;
  auto* window = reinterpret_cast<Window*>(handle);
  for (const auto& owned : S().windows) {
    if (owned.get() == window) return window;
  }
  return nullptr;
}

std::string NameOf(fw::WindowHandle handle) {
  Window* window = W(handle);
  return window || !handle ? WindowName(window) : std::string("invalid");
}

Window* Alive(fw::WindowHandle handle) {
  Window* window = W(handle);
  return window && !window->destroyed ? window : nullptr;
}

Window* NewWindow() {
  S().windows.push_back(std::make_unique<Window>());
  return S().windows.back().get();
}

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

int CompareNoCase(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(Lower(a[i])), y = static_cast<unsigned char>(Lower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && CompareNoCase(text.substr(0, prefix.size()), prefix) == 0;
}

// CB_SELECTSTRING's search for an item that starts with `text`: from the item
// after `start` to the end, then from the top (start -1: the whole list).
intptr_t SearchList(const Window& box, uintptr_t start, const std::string& text) {
  size_t count = box.items.size();
  if (count == 0) return fw::kCbErr;
  size_t first = (static_cast<intptr_t>(start) < 0 || start >= count) ? 0 : start + 1;
  for (size_t k = 0; k < count; ++k) {
    size_t i = (first + k) % count;
    if (StartsWithNoCase(box.items[i], text)) return static_cast<intptr_t>(i);
  }
  return fw::kCbErr;
}

void ClampPos(Window& bar) {
  bar.pos = std::max(bar.pos, bar.rangeLow);
  bar.pos = std::min(bar.pos, bar.rangeHigh);
}

intptr_t Process(Window& w, unsigned msg, uintptr_t wParam, intptr_t lParam) {
  const char* text = reinterpret_cast<const char*>(lParam);
  switch (msg) {
    case fw::kCbAddString: {
      // The installer's only list box is CBS_SORT; the sort ignores case.
      if (!text) return fw::kCbErr;
      auto at = std::upper_bound(w.items.begin(), w.items.end(), std::string(text),
                                 [](const std::string& a, const std::string& b) { return CompareNoCase(a, b) < 0; });
      at = w.items.insert(at, text);
      return at - w.items.begin();
    }
    case fw::kCbGetCount:
      return static_cast<intptr_t>(w.items.size());
    case kCbGetLbTextLen:
      return wParam < w.items.size() ? static_cast<intptr_t>(w.items[wParam].size()) : fw::kCbErr;
    case fw::kCbGetLbText:
      if (wParam >= w.items.size() || !lParam) return fw::kCbErr;
      std::memcpy(reinterpret_cast<char*>(lParam), w.items[wParam].c_str(), w.items[wParam].size() + 1);
      return static_cast<intptr_t>(w.items[wParam].size());
    case fw::kCbSelectString: {
      if (!text) return fw::kCbErr;
      intptr_t found = SearchList(w, wParam, text);
      if (found == fw::kCbErr) return fw::kCbErr;  // selection and text stay
      w.selected = static_cast<int>(found);
      w.text = w.items[static_cast<size_t>(found)];
      return found;
    }
    case fw::kCbGetCurSel:
      return w.selected;
    case fw::kPbmSetRange: {
      intptr_t previous = fw::MakeLParam(static_cast<unsigned>(w.rangeLow), static_cast<unsigned>(w.rangeHigh));
      // Both bounds are unsigned 16-bit words.
      w.rangeLow = static_cast<int>(static_cast<uint32_t>(lParam) & 0xFFFFu);
      w.rangeHigh = static_cast<int>((static_cast<uint32_t>(lParam) >> 16) & 0xFFFFu);
      ClampPos(w);
      return previous;
    }
    case fw::kPbmSetPos: {
      int previous = w.pos;
      w.pos = static_cast<int>(wParam);
      ClampPos(w);  // outside the range: the nearest bound
      return previous;
    }
    case fw::kPbmGetPos:
      return w.pos;
    case fw::kWmSetIcon: {
      fw::IconHandle& slot = wParam == fw::kIconBig ? w.iconBig : w.iconSmall;
      fw::IconHandle previous = slot;
      slot = reinterpret_cast<fw::IconHandle>(lParam);
      return reinterpret_cast<intptr_t>(previous);
    }
    default:
      return 0;
  }
}

bool CarriesText(unsigned msg) { return msg == fw::kCbAddString || msg == fw::kCbSelectString; }

Window* CreateDialogWindow(CDialog* dlg, int templateId, Window* owner) {
  std::string name = "dlg" + std::to_string(templateId);
  LoggedCall call(Op::kCreateDialog, name, WindowName(owner));
  if (Strike(Op::kCreateDialog, name)) {
    call.Done(0);
    return nullptr;
  }
  Window* w = NewWindow();
  w->id = templateId;
  w->isDialog = true;
  w->owner = owner;
  w->object = dlg;
  if (const TemplateLayout* layout = FindTemplate(templateId)) w->text = layout->caption;
  call.Done(1);
  return w;
}

void DestroyTree(Window* w) {
  hl::detail::State& s = S();
  w->destroyed = true;
  w->visible = false;
  w->object = nullptr;
  for (Window* child : w->children) {
    if (!child->destroyed) DestroyTree(child);
  }
  // Owned windows go with their owner.
  for (const auto& other : s.windows) {
    if (other->owner == w && !other->destroyed) DestroyTree(other.get());
  }
  if (s.focus == w) s.focus = nullptr;
  if (s.active == w) s.active = (w->owner && !w->owner->destroyed) ? w->owner : nullptr;
}

// Fake handles: distinct per resource id, the same for repeated loads.
constexpr uintptr_t kIconBase = 0x1C000;
constexpr uintptr_t kIconIds = 0x10000;

std::string IconName(fw::IconHandle icon) {
  auto value = reinterpret_cast<uintptr_t>(icon);
  if (value >= kIconBase && value < kIconBase + kIconIds) return "icon" + std::to_string(value - kIconBase);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%p", icon);
  return buf;
}

int g_fakeDc;  // its address is the one device context

}  // namespace

using hl::detail::State;

namespace hl::detail {

std::string WindowName(const Window* window) {
  if (!window) return "null";
  return (window->isDialog ? "dlg" : "ctl") + std::to_string(window->id);
}

void ResetWindows() {
  State& s = S();
  s.windows.clear();
  s.active = nullptr;
  s.focus = nullptr;
  s.boxes.clear();
  s.answers.clear();
  s.boxHook = nullptr;
  s.steps.clear();
}

}  // namespace hl::detail

namespace fw {

WindowHandle GetDlgItemHandle(WindowHandle dialog, int id) {
  hl::Window* dlg = Alive(dialog);
  if (!dlg) return nullptr;
  for (hl::Window* child : dlg->children) {
    if (child->id == id) return H(child);
  }
  std::string text;
  if (const TemplateLayout* layout = FindTemplate(dlg->id)) {
    auto control = std::find_if(layout->controls.begin(), layout->controls.end(),
                                [id](const hl::ControlLayout& c) { return c.id == id; });
    if (control == layout->controls.end()) return nullptr;  // no such control in the template
    text = control->text;
  }
  hl::Window* child = NewWindow();
  child->id = id;
  child->parent = dlg;
  child->text = text;
  child->visible = true;
  dlg->children.push_back(child);
  return H(child);
}

int GetText(WindowHandle wnd, char* buf, int maxCount) {
  if (!buf || maxCount <= 0) return 0;
  buf[0] = '\0';
  hl::Window* w = Alive(wnd);
  if (!w) return 0;
  size_t count = std::min(w->text.size(), static_cast<size_t>(maxCount - 1));
  std::memcpy(buf, w->text.data(), count);
  buf[count] = '\0';
  return static_cast<int>(count);
}

void SetText(WindowHandle wnd, const char* text) {
  hl::Window* w = W(wnd);
  LoggedCall call(Op::kSetText, NameOf(wnd), text ? text : "");
  if (Strike(Op::kSetText, WindowName(w)) || !w || w->destroyed) {
    call.Done(0);
    return;
  }
  w->text = text ? text : "";
  call.Done(1);
}

intptr_t Send(WindowHandle wnd, unsigned msg, uintptr_t wParam, intptr_t lParam) {
  hl::Window* w = W(wnd);
  char args[80];
  std::snprintf(args, sizeof args, "0x%x %llu %lld", msg, static_cast<unsigned long long>(wParam),
                static_cast<long long>(lParam));
  LoggedCall call(Op::kSendMessage, NameOf(wnd), args);
  if (!w || w->destroyed) return static_cast<intptr_t>(call.Done(0));
  hl::Message message{msg, wParam, lParam, std::string()};
  if (CarriesText(msg) && lParam) message.text = reinterpret_cast<const char*>(lParam);
  w->sent.push_back(message);
  if (Strike(Op::kSendMessage, WindowName(w))) return static_cast<intptr_t>(call.Done(0));
  return static_cast<intptr_t>(call.Done(Process(*w, msg, wParam, lParam)));
}

bool Show(WindowHandle wnd, int cmd) {
  hl::Window* w = W(wnd);
  LoggedCall call(Op::kShowWindow, NameOf(wnd), std::to_string(cmd));
  if (Strike(Op::kShowWindow, WindowName(w)) || !w || w->destroyed) return call.Done(0);
  State& s = S();
  bool wasVisible = w->visible;
  w->visible = cmd != kSwHide;
  if (cmd == 2 || cmd == 6 || cmd == 7) w->minimized = true;        // SW_(SHOW)MINIMIZE(D), SW_SHOWMINNOACTIVE
  if (cmd == 1 || cmd == 3 || cmd == 9) w->minimized = false;       // SW_SHOWNORMAL, SW_MAXIMIZE, SW_RESTORE
  bool activates = cmd == 1 || cmd == 2 || cmd == 3 || cmd == kSwShow || cmd == 9;
  if (activates && !w->parent) s.active = w;
  if ((cmd == kSwHide || cmd == 6) && s.active == w) {
    s.active = (w->owner && !w->owner->destroyed) ? w->owner : nullptr;
  }
  return call.Done(wasVisible ? 1 : 0);
}

WindowHandle Activate(WindowHandle wnd) {
  hl::Window* w = W(wnd);
  LoggedCall call(Op::kActivate, NameOf(wnd));
  if (Strike(Op::kActivate, WindowName(w)) || !w || w->destroyed) {
    call.Done(0);
    return nullptr;
  }
  hl::Window* previous = S().active;
  S().active = w;
  call.SetArg2(WindowName(previous));
  call.Done(1);
  return H(previous);
}

bool Destroy(WindowHandle wnd) {
  hl::Window* w = W(wnd);
  LoggedCall call(Op::kDestroyWindow, NameOf(wnd));
  if (Strike(Op::kDestroyWindow, WindowName(w)) || !w || w->destroyed) return call.Done(0);
  DestroyTree(w);
  return call.Done(1);
}

bool IsMinimized(WindowHandle wnd) {
  hl::Window* w = Alive(wnd);
  return w && w->minimized;
}

Rect ClientRect(WindowHandle wnd) {
  hl::Window* w = Alive(wnd);
  const TemplateLayout* layout = w && w->isDialog ? FindTemplate(w->id) : nullptr;
  return layout ? Rect{0, 0, layout->clientWidth, layout->clientHeight} : Rect{0, 0, 0, 0};
}

int ShowMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned type) {
  State& s = S();
  std::string textStr = text ? text : "", captionStr = caption ? caption : "";
  LoggedCall call(Op::kMessageBox, textStr, captionStr);
  if (Strike(Op::kMessageBox, textStr)) return static_cast<int>(call.Done(0));
  int answer = (type & 0xFu) == kMbYesNo ? kIdYes : kIdOk;
  if (!s.answers.empty()) {
    answer = s.answers.front();
    s.answers.pop_front();
  }
  hl::MessageBoxRecord record{owner, textStr, captionStr, type, answer};
  s.boxes.push_back(record);
  call.Done(answer);
  if (s.boxHook) {
    auto hook = s.boxHook;  // the hook may replace itself
    hook(record);
  }
  return answer;
}

IconHandle LoadAppIcon(int id) {
  LoggedCall call(Op::kLoadIcon, std::to_string(id));
  if (Strike(Op::kLoadIcon, std::to_string(id)) || id < 0 || static_cast<uintptr_t>(id) >= kIconIds) {
    call.Done(0);
    return nullptr;
  }
  call.Done(1);
  return reinterpret_cast<IconHandle>(kIconBase + static_cast<uintptr_t>(id));
}

int SystemMetric(int index) { return index == kSmCxIcon || index == kSmCyIcon ? 32 : 0; }

DcHandle BeginPaintDc(WindowHandle wnd, void** state) {
  hl::Window* w = W(wnd);
  LoggedCall call(Op::kBeginPaint, NameOf(wnd));
  if (state) *state = nullptr;
  if (Strike(Op::kBeginPaint, WindowName(w)) || !w || w->destroyed) {
    call.Done(0);
    return nullptr;
  }
  call.Done(1);
  return &g_fakeDc;
}

void EndPaintDc(WindowHandle wnd, void* state) { Log(Op::kEndPaint, NameOf(wnd), "", 1); }

bool DrawIconAt(DcHandle dc, int x, int y, IconHandle icon) {
  LoggedCall call(Op::kDrawIcon, std::to_string(x) + " " + std::to_string(y), IconName(icon));
  if (Strike(Op::kDrawIcon, "") || dc != &g_fakeDc || !icon) return call.Done(0);
  return call.Done(1);
}

intptr_t RunModal(CDialog* dlg, int templateId, WindowHandle owner) {
  hl::Window* ownerWindow = W(owner);
  std::string name = "dlg" + std::to_string(templateId);
  LoggedCall call(Op::kRunModal, name, WindowName(ownerWindow));
  if (Strike(Op::kRunModal, name)) return static_cast<intptr_t>(call.Done(-1));
  hl::Window* w = CreateDialogWindow(dlg, templateId, ownerWindow);
  if (!w) return static_cast<intptr_t>(call.Done(-1));
  dlg->m_hWnd = H(w);
  bool defaultFocus = dlg->DispatchInitDialog();
  bool exhausted = false;
  // EndDialog inside OnInitDialog: the dialog is destroyed without ever
  // having been shown.
  if (!w->ended && !w->destroyed) {
    State& s = S();
    w->visible = true;
    s.active = w;
    const TemplateLayout* layout = FindTemplate(templateId);
    if (defaultFocus && layout) {
      auto first = std::find_if(layout->controls.begin(), layout->controls.end(),
                                [](const hl::ControlLayout& c) { return c.tabStop; });
      if (first != layout->controls.end()) s.focus = Alive(GetDlgItemHandle(H(w), first->id));
    }
    while (!w->ended && !w->destroyed) {
      if (s.steps.empty()) {
        exhausted = true;
        break;
      }
      auto step = std::move(s.steps.front());
      s.steps.pop_front();
      step(*dlg);
    }
  }
  intptr_t result = w->ended ? w->endResult : exhausted ? hl::kScriptExhausted : -1;
  if (!w->destroyed) Destroy(H(w));
  return static_cast<intptr_t>(call.Done(result));
}

WindowHandle CreateModeless(CDialog* dlg, int templateId, WindowHandle owner) {
  hl::Window* w = CreateDialogWindow(dlg, templateId, W(owner));
  if (!w) return nullptr;
  dlg->m_hWnd = H(w);
  dlg->DispatchInitDialog();
  const TemplateLayout* layout = FindTemplate(templateId);
  if (layout && layout->visible && !w->destroyed) w->visible = true;
  return H(w);
}

void EndModal(WindowHandle dialog, intptr_t result) {
  hl::Window* w = W(dialog);
  LoggedCall call(Op::kEndModal, NameOf(dialog), std::to_string(result));
  if (Strike(Op::kEndModal, WindowName(w)) || !w || w->destroyed) {
    call.Done(0);
    return;
  }
  // EndDialog hides the window at once; the modal loop destroys it later.
  w->ended = true;
  w->endResult = result;
  w->visible = false;
  call.Done(1);
}

void EnsureCommonControls() { Log(Op::kCommonControls, "", "", 1); }

void SetProcessErrorMode() { Log(Op::kErrorMode, "0x8001", "", 0); }

std::string ModuleBaseName() { return S().moduleName; }

}  // namespace fw

// ---- Test control of windows and boxes --------------------------------------------------

namespace hl {

void RegisterTemplate(const TemplateLayout& layout) { S().templates[layout.id] = layout; }

Window* Get(fw::WindowHandle handle) { return W(handle); }

std::vector<Window*> AllWindows() {
  std::vector<Window*> all;
  for (const auto& w : S().windows) all.push_back(w.get());
  return all;
}

Window* LastDialog(int templateId) {
  const auto& windows = S().windows;
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    if ((*it)->isDialog && (*it)->id == templateId) return it->get();
  }
  return nullptr;
}

Window* Child(Window* dialog, int id) {
  if (!dialog) return nullptr;
  // Controls stay readable after their dialog is gone.
  for (Window* child : dialog->children) {
    if (child->id == id) return child;
  }
  return W(fw::GetDlgItemHandle(H(dialog), id));
}

Window* ActiveWindow() { return S().active; }
Window* FocusWindow() { return S().focus; }

const std::vector<MessageBoxRecord>& MessageBoxes() { return S().boxes; }
void QueueMessageBoxAnswer(int answer) { S().answers.push_back(answer); }
void SetMessageBoxHook(std::function<void(const MessageBoxRecord&)> hook) { S().boxHook = std::move(hook); }

void QueueModalStep(std::function<void(CDialog&)> step) { S().steps.push_back(std::move(step)); }

void Click(CDialog& dialog, int id) { dialog.DispatchCommand(id, fw::kBnClicked); }

namespace {

Window* ControlOf(CDialog& dialog, int id) {
  Window* control = Alive(fw::GetDlgItemHandle(dialog.m_hWnd, id));
  if (!control) {
    throw std::logic_error("headless: dialog has no control " + std::to_string(id));
  }
  return control;
}

}  // namespace

void Type(CDialog& dialog, int id, const std::string& text) {
  Window* control = ControlOf(dialog, id);
  control->text = text;
  // Typing into a combo box's edit field leaves no list item selected.
  control->selected = -1;
}

std::string TextOf(CDialog& dialog, int id) { return ControlOf(dialog, id)->text; }

}  // namespace hl
