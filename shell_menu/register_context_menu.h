// Register mode: puts a "Compress (css style)" verb for every file type into the shell's
// context menu, so that a right-clicked file reaches minify mode, and says on the console
// how each registry step went.
#ifndef SHELL_MENU_REGISTER_CONTEXT_MENU_H_
#define SHELL_MENU_REGISTER_CONTEXT_MENU_H_

#include <ostream>

// Opens (or creates) HKEY_CLASSES_ROOT\*\shell\Compress (css style)\command and writes as its
// default value the quoted path of the running program followed by %1. Prints one line per
// outcome to out (each ended and flushed) and never throws a registry failure at the caller:
// every failure is a console line. The key is closed before returning.
void register_context_menu(std::ostream& out);

#endif  // SHELL_MENU_REGISTER_CONTEXT_MENU_H_
