#include "tools/serve/page.hpp"

namespace kemro::serve {

std::span<const PageAsset> page_assets() {
  static const PageAsset ASSETS[] = {
      {"/", "text/html; charset=utf-8", page_html()},
      {"/app.css", "text/css; charset=utf-8", page_style()},
      {"/app.js", "text/javascript; charset=utf-8", page_script()},
  };
  return ASSETS;
}

}  // namespace kemro::serve
