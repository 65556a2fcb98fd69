// Every decision of register mode lives here, over the operations of registry.h, so that
// each outcome can be driven by the fake registry in a test on any system.
#include "shell_menu/register_context_menu.h"

#include <string>

#include "shell_menu/registry.h"

namespace {

// Reports a failed create. The run goes on to the write anyway, which is then refused with
// a number of its own, so the user sees both failures.
void report_create_failure(std::ostream& out, const registry_result& created) {
  // The key is named as Windows knows it, on every system: these are fixed console words.
  out << "Error: Could not create registry key *\\shell\\" << verb_name << "\\command"
      << std::endl;
  out << "\tERROR: " << created.code << std::endl;
  if (created.status == registry_status::denied) {
    out << "Run this program as adminstrator for once." << std::endl;
  }
}

}  // namespace

void register_context_menu(std::ostream& out) {
  registry_key key = null_key;
  const registry_result opened = open_verb_key(key);
  if (opened.status == registry_status::absent) {
    const registry_result created = create_verb_key(key);
    if (created.status == registry_status::done) {
      out << "Success: Key created." << std::endl;
    } else {
      report_create_failure(out, created);
    }
  } else if (opened.status != registry_status::done) {
    out << "Unable to open registry key." << std::endl;
    return;
  }

  const std::wstring command_text = L"\"" + read_module_path() + L"\" %1";
  const registry_result written = write_verb_command(key, command_text);
  if (written.status != registry_status::done) {
    // The key is closed on both paths before the wait for Enter: before the failure's
    // message here, after the success message below.
    close_verb_key(key);
    out << "Unable to change registry.\nERROR: " << written.code << std::endl;
  } else {
    out << "From now, you can use right click context-menu to access this tool." << std::endl;
    close_verb_key(key);
  }
}
