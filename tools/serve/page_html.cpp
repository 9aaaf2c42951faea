// The HTML of kemro-serve's page: three tabs, one form and one result area each.
// Input names are the command-line options' names, which is also how they
// appear in the page's shareable address.
#include "tools/serve/page.hpp"

namespace kemro::serve {

std::string_view page_html() {
  return R"HTML(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>KEMRO: adverse impact, exactly</title>
<link rel="stylesheet" href="/app.css">
<script src="/app.js" defer></script>
</head>
<body>
<header>
<h1>KEMRO</h1>
<p>The exact distribution of the adverse impact ratio, and what it says about a hiring decision.</p>
</header>
<nav role="tablist" aria-label="Questions">
<button type="button" role="tab" id="tab-decision" data-tab="decision" aria-selected="true">Check a decision</button>
<button type="button" role="tab" id="tab-study" data-tab="study" aria-selected="false">Plan or study</button>
<button type="button" role="tab" id="tab-scenario" data-tab="scenario" aria-selected="false">One scenario</button>
</nav>
<main>

<section id="panel-decision" role="tabpanel" aria-labelledby="tab-decision">
<p class="intro">How unusual is an actual decision? Give its counts, or the applicant file, and read the four-fifths rule, the tests and the effect size the decision fits.</p>
<form id="form-decision" novalidate>
<fieldset><legend>The decision's counts</legend>
<label>Applicants (N) <input name="applicants" inputmode="numeric" data-kind="counts"></label>
<label>Majority applicants (N1) <input name="majority" inputmode="numeric" data-kind="counts"></label>
<label>Hires (K) <input name="hires" inputmode="numeric" data-kind="counts"></label>
<label>Minority hires (S) <input name="minority-hires" inputmode="numeric" data-kind="counts"></label>
</fieldset>
<fieldset><legend>Or the applicant file (CSV, one row per applicant)</legend>
<label>File <input type="file" id="decision-file" accept=".csv,text/csv"></label>
<label class="wide">or paste it here <textarea id="decision-data" rows="5" spellcheck="false" placeholder="group,hired&#10;A,1&#10;B,0"></textarea></label>
<label>Group column <input name="group-column"></label>
<label>Minority value <input name="minority"></label>
<label>Hired column <input name="hired-column"></label>
<label>One case per value of <input name="by" placeholder="(optional)"></label>
</fieldset>
<fieldset><legend>Model</legend>
<label>Effect sizes d <input name="d" placeholder="0" data-kind="reals"></label>
<label>Alpha <input name="alpha" placeholder="0.05" data-kind="real"></label>
</fieldset>
<button type="submit">Check the decision</button>
</form>
<div class="error" id="error-decision" role="alert" hidden></div>
<div class="result" id="result-decision"></div>
</section>

<section id="panel-study" role="tabpanel" aria-labelledby="tab-study" hidden>
<p class="intro">How often does each rule flag a fair decision, or which size meets a target? Every option takes one value, a list (1,2,3) or a range (100:500:100).</p>
<form id="form-study" novalidate>
<fieldset><legend>Scenarios</legend>
<label>Applicants (N) <input name="applicants" data-kind="counts"></label>
<label>Majority applicants (N1) <input name="majority" data-kind="counts"></label>
<label>or minority share <input name="minority-share" data-kind="reals"></label>
<label>Hires (K) <input name="hires" data-kind="counts"></label>
<label>or selection ratio <input name="selection-ratio" data-kind="reals"></label>
<label>Effect size d <input name="d" data-kind="reals"></label>
</fieldset>
<fieldset><legend>Planning solve (optional)</legend>
<label>Solve for <select name="solve">
<option value="">nothing: compute the grid</option>
<option value="applicants">applicants</option>
<option value="minority-share">minority-share</option>
<option value="selection-ratio">selection-ratio</option>
<option value="d">d</option>
</select></label>
<label>Target <input name="target" placeholder="P_below_four_fifths&lt;=0.2"></label>
</fieldset>
<fieldset><legend>Plot</legend>
<label>Horizontal axis <input name="x" placeholder="(first varying option)"></label>
<label class="check"><input type="checkbox" name="log-x"> logarithmic</label>
<label>Title <input name="title"></label>
</fieldset>
<button type="submit">Compute</button>
</form>
<div class="error" id="error-study" role="alert" hidden></div>
<div class="result" id="result-study"></div>
</section>

<section id="panel-scenario" role="tabpanel" aria-labelledby="tab-scenario" hidden>
<p class="intro">The whole distribution of the adverse impact ratio for one scenario of top-down selection.</p>
<form id="form-scenario" novalidate>
<fieldset><legend>Scenario</legend>
<label>Applicants (N) <input name="applicants" inputmode="numeric" data-kind="count"></label>
<label>Majority applicants (N1) <input name="majority" inputmode="numeric" data-kind="count"></label>
<label>Hires (K) <input name="hires" inputmode="numeric" data-kind="count"></label>
<label>Effect size d <input name="d" data-kind="real"></label>
</fieldset>
<button type="submit">Show the distribution</button>
</form>
<div class="error" id="error-scenario" role="alert" hidden></div>
<div class="result" id="result-scenario"></div>
</section>

</main>
<footer><p>Computed by kemro-serve on this machine; nothing is sent elsewhere. Every result has its own address: copy it from the address bar to share it.</p></footer>
</body>
</html>
)HTML";
}

}  // namespace kemro::serve
