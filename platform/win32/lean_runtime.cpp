// Size: the C++ runtime's error paths, trimmed for a statically linked program.
//
// INSTALL.EXE links the C++ runtime statically and must stay small. Two
// runtime defaults cost about half of the program file while doing nothing
// this program relies on:
//  - std::__throw_* (functexcept.o in libstdc++) raise std::length_error,
//    std::out_of_range, ... whose message strings pull in a second std::string
//    implementation and its instantiations (some 50 KB);
//  - the default terminate handler names the uncaught exception, for which it
//    links the symbol demangler (some 45 KB).
// Defining all of them here keeps the runtime's versions out of the link.
// The program catches nothing but std::bad_alloc (the framework turns it into
// "Out of memory."); any other exception ends the process in std::terminate
// either way, because the dialog procedure is noexcept. So:
//  - a length error (a size no allocation can satisfy) is reported as what it
//    amounts to, std::bad_alloc;
//  - the exceptions without a message are thrown as usual;
//  - the logic and range errors, which only a programming error raises, end
//    the process at once, as the uncaught exception would have.
// Every function of functexcept.o must be defined here: if the linker pulled
// that object for one missing name, the others would be defined twice.
#include <cstdlib>
#include <exception>
#include <new>
#include <typeinfo>

namespace std {

void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_length_error(const char*) { throw bad_alloc(); }
void __throw_logic_error(const char*) { abort(); }
void __throw_domain_error(const char*) { abort(); }
void __throw_invalid_argument(const char*) { abort(); }
void __throw_out_of_range(const char*) { abort(); }
void __throw_out_of_range_fmt(const char*, ...) { abort(); }
void __throw_runtime_error(const char*) { abort(); }
void __throw_range_error(const char*) { abort(); }
void __throw_overflow_error(const char*) { abort(); }
void __throw_underflow_error(const char*) { abort(); }

}  // namespace std

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
