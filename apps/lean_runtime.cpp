// Linked into both programs ahead of the C++ runtime library, replacing two of its pieces that
// would otherwise be half of each program:
//  - the verbose terminate handler, which demangles the type of an escaped exception to print
//    it on a console these programs do not have (it brings the whole demangler and printf);
//  - the helpers the standard containers call to throw on misuse (length, range, allocation),
//    whose standard exception types drag in the library's narrow-string instantiations. The
//    same conditions still throw, as std::exception with the library's own message.
#include <cstdlib>
#include <exception>
#include <new>
#include <typeinfo>

namespace {

class LibraryFault : public std::exception {
  public:
    explicit LibraryFault(const char* what) : what_(what) {}
    const char* what() const noexcept override { return what_; }

  private:
    const char* what_;
};

}  // namespace

namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
}  // namespace __gnu_cxx

namespace std {
void __throw_bad_cast() {
    throw bad_cast();
}
void __throw_bad_alloc() {
    throw bad_alloc();
}
void __throw_bad_typeid() {
    throw bad_typeid();
}
void __throw_bad_exception() {
    throw bad_exception();
}
void __throw_bad_array_new_length() {
    throw bad_array_new_length();
}
void __throw_logic_error(const char* what) {
    throw LibraryFault(what);
}
void __throw_range_error(const char* what) {
    throw LibraryFault(what);
}
void __throw_domain_error(const char* what) {
    throw LibraryFault(what);
}
void __throw_length_error(const char* what) {
    throw LibraryFault(what);
}
void __throw_out_of_range(const char* what) {
    throw LibraryFault(what);
}
void __throw_runtime_error(const char* what) {
    throw LibraryFault(what);
}
void __throw_overflow_error(const char* what) {
    throw LibraryFault(what);
}
void __throw_underflow_error(const char* what) {
    throw LibraryFault(what);
}
void __throw_invalid_argument(const char* what) {
    throw LibraryFault(what);
}
void __throw_out_of_range_fmt(const char* format, ...) {
    throw LibraryFault(format);
}
}  // namespace std
