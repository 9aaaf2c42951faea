// The style sheet of kemro-serve's page.
#include "tools/serve/page.hpp"

namespace kemro::serve {

std::string_view page_style() {
  return R"CSS(
:root { --ink: #1b1b1b; --muted: #555; --line: #c9c9c9; --accent: #0b5394; --bad: #a61c00; }
* { box-sizing: border-box; }
body { margin: 0 auto; max-width: 72rem; padding: 0 1rem 2rem; color: var(--ink);
       font: 15px/1.45 system-ui, sans-serif; }
header h1 { margin: 1rem 0 0; font-size: 1.6rem; }
header p, .intro, footer { color: var(--muted); }
nav { display: flex; gap: .25rem; border-bottom: 2px solid var(--accent); margin: 1rem 0; }
nav button { border: 1px solid var(--line); border-bottom: none; background: #f3f3f3;
             padding: .5rem 1rem; font: inherit; cursor: pointer; border-radius: 4px 4px 0 0; }
nav button[aria-selected="true"] { background: var(--accent); color: #fff; border-color: var(--accent); }
fieldset { border: 1px solid var(--line); margin: 0 0 .75rem; display: flex; flex-wrap: wrap;
           gap: .5rem 1rem; }
label { display: flex; flex-direction: column; font-size: .9rem; min-width: 11rem; }
label.wide { flex-basis: 100%; }
label.check { flex-direction: row; align-items: center; gap: .4rem; min-width: 0; align-self: flex-end; }
input, select, textarea { font: inherit; padding: .25rem .4rem; }
textarea { font-family: ui-monospace, monospace; }
input:invalid, input.invalid { border-color: var(--bad); outline: 1px solid var(--bad); }
button[type="submit"] { background: var(--accent); color: #fff; border: none; padding: .5rem 1.2rem;
                        font: inherit; border-radius: 4px; cursor: pointer; }
.error { margin: 1rem 0; padding: .5rem .75rem; border-left: 4px solid var(--bad); background: #fbeeea; }
.result { margin: 1rem 0; }
.result p.sentence { max-width: 50rem; }
.verdict-flag { color: var(--bad); font-weight: 600; }
.table-wrap { overflow-x: auto; margin: .5rem 0 1rem; }
table { border-collapse: collapse; font-variant-numeric: tabular-nums; }
th, td { border: 1px solid var(--line); padding: .2rem .5rem; text-align: right; white-space: nowrap; }
th { background: #f3f3f3; }
td.text { text-align: left; }
img.plot { max-width: 100%; border: 1px solid var(--line); background: #fff; }
.downloads a { margin-right: 1rem; }
.busy { color: var(--muted); }
)CSS";
}

}  // namespace kemro::serve
