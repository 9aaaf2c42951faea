// The web page of kemro-serve: one HTML document, its style sheet and its
// script, held in the program and served as they are (no build step, no
// framework, nothing loaded from elsewhere). The script fills the page from
// the JSON API and builds every element with textContent, so that nothing a
// user typed is ever read as HTML.
#pragma once

#include <span>
#include <string_view>

namespace kemro::serve {

struct PageAsset {
  std::string_view path;  // "/", "/app.js", "/app.css"
  std::string_view type;  // its Content-Type
  std::string_view body;
};

std::span<const PageAsset> page_assets();

// The parts, defined in page_html.cpp, page_style.cpp and page_script.cpp.
std::string_view page_html();
std::string_view page_style();
std::string_view page_script();

}  // namespace kemro::serve
