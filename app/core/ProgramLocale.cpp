// The start-up locale step of the program.
#include "ProgramLocale.h"

#include <clocale>

#include "rtl/Separators.h"

namespace app {

void TakeUserLocale() {
  rtl::InitLocaleSeparators();
  std::setlocale(LC_NUMERIC, "C");
}

}  // namespace app
