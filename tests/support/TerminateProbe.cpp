// Ends by an exception that nothing catches, so that the launcher's terminate handler reports it.
#include <stdexcept>

int main() {
    throw std::runtime_error("uncaught on purpose");
}
