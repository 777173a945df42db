// The pages of fixed text: UsersManual, About, Contact and Donate.
#pragma once

class QTabWidget;

namespace app {

class StaticPages {
 public:
  // Adds the four pages to `page_control`.
  explicit StaticPages(QTabWidget& page_control);
};

// The user manual's text (UsersManualText.cpp).
const char* UsersManualText();

}  // namespace app
