// Runs a shell verb on a file the way Explorer's context menu does, for scripts that check
// what a right-click really starts: ShellExecuteExW looks the verb up in the registry under
// the class of every file type (*) and puts the file's path into its command text as the
// shell does. Unlike Explorer it keeps the started program on this console, gives it an
// empty standard input (so a wait for Enter returns at once) and relays the program's
// standard output and error to its own standard output.
//
//   invoke_verb VERB FILE TIMEOUT_SECONDS
//
// Exit status: the started program's own status; 124 when it was still running at the
// timeout (it is then ended); 125 when the verb could not be invoked at all; 2 for wrong
// arguments. Its own complaints go to standard error, never into the relayed output.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr int timed_out_status = 124;
constexpr int not_invoked_status = 125;
constexpr int usage_status = 2;

// Closes a handle on every return.
class scoped_handle {
 public:
  explicit scoped_handle(HANDLE handle = nullptr) : handle_(handle) {}
  scoped_handle(const scoped_handle&) = delete;
  scoped_handle& operator=(const scoped_handle&) = delete;
  ~scoped_handle() { reset(); }
  HANDLE get() const { return handle_; }
  HANDLE* out() { return &handle_; }
  void reset() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_;
};

// Swaps the process's standard handles for the duration of the launch: the shell gives a
// program that shares our console the standard handles we have at that moment.
class standard_handles_swap {
 public:
  standard_handles_swap(HANDLE input, HANDLE output)
      : input_(GetStdHandle(STD_INPUT_HANDLE)),
        output_(GetStdHandle(STD_OUTPUT_HANDLE)),
        error_(GetStdHandle(STD_ERROR_HANDLE)) {
    SetStdHandle(STD_INPUT_HANDLE, input);
    SetStdHandle(STD_OUTPUT_HANDLE, output);
    SetStdHandle(STD_ERROR_HANDLE, output);
  }
  standard_handles_swap(const standard_handles_swap&) = delete;
  standard_handles_swap& operator=(const standard_handles_swap&) = delete;
  ~standard_handles_swap() {
    SetStdHandle(STD_INPUT_HANDLE, input_);
    SetStdHandle(STD_OUTPUT_HANDLE, output_);
    SetStdHandle(STD_ERROR_HANDLE, error_);
  }

 private:
  HANDLE input_;
  HANDLE output_;
  HANDLE error_;
};

struct relay {
  HANDLE from;
  std::string bytes;
};

// Reads the pipe until every writer has closed it. A thread of its own, so that a program
// filling the pipe never blocks and the deadline is kept by the main thread alone.
DWORD WINAPI read_until_closed(void* context) {
  relay& r = *static_cast<relay*>(context);
  char buffer[4096];
  DWORD done = 0;
  while (ReadFile(r.from, buffer, sizeof buffer, &done, nullptr) && done > 0) {
    r.bytes.append(buffer, done);
  }
  return 0;
}

// One line on standard error; the system's error code only when there is one.
void complain(const wchar_t* what, DWORD code = 0) {
  if (code == 0) {
    std::fwprintf(stderr, L"invoke_verb: %ls\n", what);
  } else {
    std::fwprintf(stderr, L"invoke_verb: %ls (error %lu)\n", what,
                  static_cast<unsigned long>(code));
  }
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr || count != 4) {
    std::fwprintf(stderr, L"usage: invoke_verb VERB FILE TIMEOUT_SECONDS\n");
    return usage_status;
  }
  const wchar_t* verb = arguments[1];
  const wchar_t* file = arguments[2];
  wchar_t* end = nullptr;
  const unsigned long seconds = std::wcstoul(arguments[3], &end, 10);
  if (end == arguments[3] || *end != L'\0' || seconds == 0 || seconds > 3600) {
    std::fwprintf(stderr, L"invoke_verb: the timeout must be 1 to 3600 seconds\n");
    return usage_status;
  }

  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  // Reading the NUL device meets the end at once, as a console whose input is closed.
  scoped_handle empty_input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        &inheritable, OPEN_EXISTING, 0, nullptr));
  scoped_handle pipe_read;
  scoped_handle pipe_write;
  if (empty_input.get() == INVALID_HANDLE_VALUE ||
      !CreatePipe(pipe_read.out(), pipe_write.out(), &inheritable, 0)) {
    complain(L"could not make the standard handles", GetLastError());
    return not_invoked_status;
  }
  // Only the program gets the write end; ours must not keep the pipe open.
  SetHandleInformation(pipe_read.get(), HANDLE_FLAG_INHERIT, 0);

  SHELLEXECUTEINFOW execute = {};
  execute.cbSize = sizeof execute;
  // No new console: the program shares ours and so receives the handles swapped in below.
  // Explorer finds verbs under * by itself; Wine's shell32 looks only at the class of the
  // file's extension unless told the class.
  execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NO_CONSOLE | SEE_MASK_FLAG_NO_UI |
                  SEE_MASK_NOASYNC | SEE_MASK_CLASSNAME;
  execute.lpClass = L"*";
  execute.lpVerb = verb;
  execute.lpFile = file;
  execute.nShow = SW_SHOWNORMAL;
  BOOL invoked = FALSE;
  DWORD invoke_error = 0;
  {
    const standard_handles_swap swap(empty_input.get(), pipe_write.get());
    invoked = ShellExecuteExW(&execute);
    // The shell's own code (SE_ERR_*) stands where no system error was set.
    invoke_error = GetLastError();
    if (invoke_error == 0) {
      invoke_error = static_cast<DWORD>(reinterpret_cast<INT_PTR>(execute.hInstApp));
    }
  }
  pipe_write.reset();
  empty_input.reset();
  if (!invoked) {
    complain(L"ShellExecuteExW refused the verb", invoke_error);
    return not_invoked_status;
  }
  scoped_handle process(execute.hProcess);
  if (process.get() == nullptr) {
    complain(L"the verb started no process that can be waited for");
    return not_invoked_status;
  }

  relay output{pipe_read.get(), {}};
  scoped_handle reader(CreateThread(nullptr, 0, read_until_closed, &output, 0, nullptr));
  if (reader.get() == nullptr) {
    complain(L"could not start the reader", GetLastError());
    TerminateProcess(process.get(), not_invoked_status);
    return not_invoked_status;
  }

  int status = 0;
  if (WaitForSingleObject(process.get(), seconds * 1000) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), timed_out_status);
    WaitForSingleObject(process.get(), 5000);
    complain(L"the program was still running at the timeout and was ended");
    status = timed_out_status;
  } else {
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    status = static_cast<int>(code);
  }
  // A process the program started may still hold the pipe; the reader then still owns the
  // bytes, so the status alone is given, and the process ends without unwinding this frame
  // under the reader's feet.
  if (WaitForSingleObject(reader.get(), 5000) != WAIT_OBJECT_0) {
    complain(L"the program's output was still open after it ended");
    ExitProcess(static_cast<UINT>(status));
  }
  // The bytes exactly as the program wrote them, line ends included.
  DWORD written = 0;
  if (!output.bytes.empty()) {
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), output.bytes.data(),
              static_cast<DWORD>(output.bytes.size()), &written, nullptr);
  }
  return status;
}
