// The script of kemro-serve's page: tabs, the forms' checks, the calls to the
// JSON API and the rendering of its answers. Plain JavaScript, no library.
// Every element is built with textContent, never from HTML text.
#include "tools/serve/page.hpp"

namespace kemro::serve {

std::string_view page_script() {
  return R"JS("use strict";
(function () {
  const TABS = ["decision", "study", "scenario"];
  const COUNT = "\\d+(:\\d+(:\\d+)?)?";
  const REAL = "[-+]?(\\d+\\.?\\d*|\\.\\d+)([eE][-+]?\\d+)?";
  const RANGE = REAL + "(:" + REAL + "(:" + REAL + ")?)?";
  const KINDS = {
    count: { re: /^\d+$/, words: "a whole number" },
    counts: { re: new RegExp("^" + COUNT + "(," + COUNT + ")*$"),
              words: "a whole number, a list or a range start:stop:step" },
    real: { re: new RegExp("^" + REAL + "$"), words: "a number" },
    reals: { re: new RegExp("^" + RANGE + "(," + RANGE + ")*$"),
             words: "a number, a list or a range start:stop:step" }
  };
  // The parameters of the plot only; the tables' requests do not take them.
  const PLOT_ONLY = ["x", "log-x", "title"];
  const lastAddress = {};

  function byId(id) { return document.getElementById(id); }

  function el(tag, text, className) {
    const node = document.createElement(tag);
    if (text !== undefined && text !== null) node.textContent = String(text);
    if (className) node.className = className;
    return node;
  }

  function showTab(tab) {
    for (const t of TABS) {
      byId("tab-" + t).setAttribute("aria-selected", t === tab ? "true" : "false");
      byId("panel-" + t).hidden = t !== tab;
    }
  }

  // The form's inputs as [name, value] pairs, in the form's order; a ticked
  // box is a flag without a value.
  function formPairs(form) {
    const pairs = [];
    for (const input of form.querySelectorAll("[name]")) {
      if (input.type === "checkbox") {
        if (input.checked) pairs.push([input.name, ""]);
      } else if (input.value.trim() !== "") {
        pairs.push([input.name, input.value.trim()]);
      }
    }
    return pairs;
  }

  // A query string in which lists and ranges stay readable.
  function queryOf(pairs) {
    return pairs.map(([name, value]) => {
      const v = encodeURIComponent(value).replace(/%2C/gi, ",").replace(/%3A/gi, ":");
      return value === "" ? name : name + "=" + v;
    }).join("&");
  }

  function fillForm(form, params) {
    for (const input of form.querySelectorAll("[name]")) {
      if (input.type === "checkbox") input.checked = params.has(input.name);
      else input.value = params.get(input.name) || "";
    }
  }

  // The first input whose text does not have the form it needs, as a message.
  function checkForm(form) {
    let message = null;
    for (const input of form.querySelectorAll("[data-kind]")) {
      const kind = KINDS[input.dataset.kind];
      const value = input.value.trim();
      const bad = value !== "" && !kind.re.test(value);
      input.classList.toggle("invalid", bad);
      if (bad && message === null) {
        message = input.parentElement.firstChild.textContent.trim() + ": '" + value +
                  "' is not " + kind.words;
      }
    }
    return message;
  }

  function requireAll(form, names) {
    for (const name of names) {
      const input = form.querySelector("[name='" + name + "']");
      if (input.value.trim() === "") {
        input.classList.add("invalid");
        return input.parentElement.firstChild.textContent.trim() + " is required";
      }
    }
    return null;
  }

  async function fetchJson(url, options) {
    const response = await fetch(url, options);
    const text = await response.text();
    let data;
    try {
      data = JSON.parse(text);
    } catch (e) {
      throw new Error("the server's answer could not be read (status " + response.status + ")");
    }
    if (!response.ok) throw new Error(data.error || "status " + response.status);
    return data;
  }

  function short(v, digits) {
    if (v === null || v === undefined) return "undefined";
    if (typeof v !== "number") return String(v);
    if (Number.isInteger(v)) return String(v);
    return String(Number(v.toPrecision(digits || 4)));
  }

  function percent(v) {
    return v === null ? "undefined" : String(Number((100 * v).toPrecision(3))) + "%";
  }

  function showError(tab, message) {
    const box = byId("error-" + tab);
    box.textContent = message || "";
    box.hidden = !message;
  }

  // A table of records: one column per key of the first record (a nested
  // list such as "distribution" left out), cells marked with their key.
  function recordTable(records, id) {
    const wrap = el("div", null, "table-wrap");
    const table = el("table");
    if (id) table.id = id;
    if (records.length === 0) return wrap;
    const keys = Object.keys(records[0]).filter((k) => !Array.isArray(records[0][k]));
    const head = table.createTHead().insertRow();
    for (const k of keys) head.appendChild(el("th", k));
    const body = table.createTBody();
    for (const r of records) {
      const row = body.insertRow();
      for (const k of keys) {
        const v = r[k];
        const cell = el("td", v === null ? "" : v, typeof v === "string" ? "text" : "");
        cell.dataset.column = k;
        row.appendChild(cell);
      }
    }
    wrap.appendChild(table);
    return wrap;
  }

  // One record as a two-column table of names and values.
  function fieldTable(record, id) {
    const wrap = el("div", null, "table-wrap");
    const table = el("table");
    if (id) table.id = id;
    const body = table.createTBody();
    for (const [k, v] of Object.entries(record)) {
      if (Array.isArray(v)) continue;
      const row = body.insertRow();
      row.appendChild(el("th", k));
      const cell = el("td", v === null ? "" : v, typeof v === "string" ? "text" : "");
      cell.dataset.column = k;
      row.appendChild(cell);
    }
    wrap.appendChild(table);
    return wrap;
  }

  function plotImage(query, alt) {
    const img = el("img", null, "plot");
    img.alt = alt;
    img.src = "/api/plot?" + query;
    return img;
  }

  function download(href, name, words) {
    const a = el("a", words);
    a.href = href;
    a.download = name;
    return a;
  }

  // The sentences that tell what one record of kemro-observed says.
  function decisionSentences(r) {
    const out = [];
    const who = r.label !== undefined ? "Case " + r.label + ": o" : "O";
    out.push(who + "f " + r.N + " applicants (" + r.N1 + " majority, " + r.N2 + " minority), " +
             r.K + " were hired, " + r.S + " of them from the minority. The selection rates are " +
             percent(r.SRA) + " for the majority and " + percent(r.SRI) + " for the minority" +
             (r.AI === null ? "; the adverse impact ratio is undefined (no majority hire)."
                            : ", an adverse impact ratio of " + short(r.AI, 3) + "."));
    const fourFifths = r.four_fifths_violated
        ? "The ratio is below 0.8: the four-fifths rule flags this decision."
        : "The ratio is not below 0.8: the four-fifths rule does not flag this decision.";
    out.push(fourFifths + (r.shortfall > 0 ? " Equal selection rates would have meant " +
             short(r.shortfall, 3) + " more minority hires." : ""));
    out.push("If hiring ignored group, a result this unfavourable to the minority or worse " +
             "would happen with probability " + short(r.p_fisher_one_sided) +
             " (Fisher's exact test, one-sided; two-sided " + short(r.p_fisher_two_sided) +
             "). The two-proportion Z test gives z = " + short(r.z, 3) + ", two-sided p = " +
             short(r.p_z_two_sided) + ".");
    const level = String(Number((100 * (1 - r.alpha)).toPrecision(6)));
    const lower = typeof r.d_lower !== "number" ? "below any bound" : short(r.d_lower, 3);
    const upper = typeof r.d_upper !== "number" ? "above any bound" : short(r.d_upper, 3);
    out.push("Under top-down selection on normally distributed scores, the effect size d " +
             "that fits the decision best is " + (typeof r.d_ml !== "number" ? "unbounded" : short(r.d_ml, 3)) +
             "; the exact " + level + "% interval for d runs from " + lower + " to " + upper + ".");
    if (r.d !== 0) {
      out.push("At d = " + r.d + ", P(S \u2264 " + r.S + ") = " + short(r.P_S_at_most_observed) + ".");
    }
    // Rule verdicts and their false-flag rates, when the records carry them:
    // a true/false field flag_<rule> (or flags_, flagged_) and a rate
    // P_flag_<rule> (or false_flag_rate_<rule>) at d = 0 for this size.
    const rules = new Map();
    for (const [k, v] of Object.entries(r)) {
      const verdict = /^(?:flag|flags|flagged)_(.+)$/.exec(k);
      const rate = /^(?:P_flag|false_flag_rate|false_flag)_(.+)$/.exec(k);
      if (verdict && typeof v === "boolean") rules.set(verdict[1], { ...rules.get(verdict[1]), flags: v });
      if (rate && typeof v === "number") rules.set(rate[1], { ...rules.get(rate[1]), rate: v });
    }
    for (const [name, rule] of rules) {
      let sentence = "The rule " + name.replace(/_/g, " ");
      if (rule.flags !== undefined) sentence += rule.flags ? " flags this decision" : " does not flag this decision";
      if (rule.rate !== undefined) {
        sentence += (rule.flags !== undefined ? "; it" : "") + " would flag a fair decision of this size " +
                    "with probability " + short(rule.rate);
      }
      out.push(sentence + ".");
    }
    return out;
  }

  async function runDecision(push) {
    const form = byId("form-decision");
    const result = byId("result-decision");
    const data = byId("decision-data").value;
    const fromFile = data.trim() !== "";
    const problem = checkForm(form) || (fromFile ? requireAll(form, ["group-column", "minority", "hired-column"])
                                                 : requireAll(form, ["applicants", "majority", "hires", "minority-hires"]));
    if (problem) return showError("decision", problem);
    const query = queryOf(formPairs(form));
    const records = fromFile
        ? await fetchJson("/api/observed?" + query,
                          { method: "POST", body: data, headers: { "Content-Type": "text/csv" } })
        : await fetchJson("/api/observed?" + query);
    result.replaceChildren();
    for (const r of records) {
      for (const s of decisionSentences(r)) result.appendChild(el("p", s, "sentence"));
    }
    result.appendChild(recordTable(records, "table-decision"));
    const links = el("p", null, "downloads");
    if (!fromFile) {
      links.appendChild(download("/api/observed?" + query + "&csv", "kemro-observed.csv", "CSV"));
      links.appendChild(download("/api/observed?" + query + "&json", "kemro-observed.json", "JSON"));
    } else {
      links.appendChild(el("span", "Results from a file have no address of their own."));
    }
    result.appendChild(links);
    return fromFile ? "/?tab=decision" : "/?tab=decision&" + query;
  }

  async function runStudy() {
    const form = byId("form-study");
    const result = byId("result-study");
    const problem = checkForm(form);
    if (problem) return showError("study", problem);
    const pairs = formPairs(form);
    const tablePairs = pairs.filter(([k]) => !PLOT_ONLY.includes(k));
    const solving = pairs.some(([k]) => k === "solve");
    const endpoint = solving ? "/api/solve?" : "/api/summary?";
    const query = queryOf(tablePairs);
    const records = await fetchJson(endpoint + query);
    result.replaceChildren();
    result.appendChild(el("p", solving
        ? records.length + " planning solve" + (records.length === 1 ? "" : "s") + "."
        : records.length + " scenario" + (records.length === 1 ? "" : "s") +
          " computed; P_below_four_fifths is the probability that the four-fifths rule flags the decision.",
        "sentence"));
    result.appendChild(plotImage(queryOf(pairs), solving ? "The values found" : "P(AI < 0.8) by scenario"));
    const links = el("p", null, "downloads");
    links.appendChild(download(endpoint + query + "&csv", "kemro-grid.csv", "Download CSV"));
    links.appendChild(download(endpoint + query + "&json", "kemro-grid.json", "Download JSON"));
    result.appendChild(links);
    result.appendChild(recordTable(records, "table-study"));
    return "/?tab=study&" + queryOf(pairs);
  }

  async function runScenario() {
    const form = byId("form-scenario");
    const result = byId("result-scenario");
    const problem = checkForm(form) || requireAll(form, ["applicants", "majority", "hires", "d"]);
    if (problem) return showError("scenario", problem);
    const query = queryOf(formPairs(form));
    const records = await fetchJson("/api/distribution?" + query);
    const r = records[0];
    result.replaceChildren();
    result.appendChild(el("p", "With " + r.N + " applicants (" + r.N1 + " majority, " + r.N2 +
        " minority), " + r.K + " hires and d = " + r.d + ", the four-fifths rule flags the decision " +
        "with probability " + short(r.P_below_four_fifths) + "; the expected adverse impact ratio is " +
        short(r.expected_AI, 3) + " and its median " + short(r.AI_P50, 3) + ".", "sentence"));
    result.appendChild(plotImage(query, "The distribution of AI"));
    result.appendChild(fieldTable(r, "table-scenario-summary"));
    result.appendChild(recordTable(r.distribution || [], "table-scenario-distribution"));
    return "/?tab=scenario&" + query;
  }

  const RUN = { decision: runDecision, study: runStudy, scenario: runScenario };

  async function run(tab, push) {
    const button = byId("form-" + tab).querySelector("button[type='submit']");
    button.disabled = true;
    showError(tab, null);
    byId("result-" + tab).replaceChildren(el("p", "Computing\u2026", "busy"));
    try {
      const address = await RUN[tab]();
      if (address) {
        lastAddress[tab] = address;
        if (push && address !== location.pathname + location.search) history.pushState(null, "", address);
      } else {
        byId("result-" + tab).replaceChildren();
      }
    } catch (e) {
      byId("result-" + tab).replaceChildren();
      showError(tab, e.message);
    } finally {
      button.disabled = false;
    }
  }

  function openAddress() {
    const params = new URLSearchParams(location.search);
    const tab = TABS.includes(params.get("tab")) ? params.get("tab") : "decision";
    showTab(tab);
    fillForm(byId("form-" + tab), params);
    if ([...params.keys()].some((k) => k !== "tab")) run(tab, false);
  }

  document.addEventListener("DOMContentLoaded", () => {
    for (const tab of TABS) {
      byId("tab-" + tab).addEventListener("click", () => {
        showTab(tab);
        history.replaceState(null, "", lastAddress[tab] || "/?tab=" + tab);
      });
      byId("form-" + tab).addEventListener("submit", (event) => {
        event.preventDefault();
        run(tab, true);
      });
    }
    byId("decision-file").addEventListener("change", (event) => {
      const file = event.target.files[0];
      if (!file) return;
      const reader = new FileReader();
      reader.onload = () => { byId("decision-data").value = reader.result; };
      reader.readAsText(file);
    });
    window.addEventListener("popstate", openAddress);
    openAddress();
  });
})();
)JS";
}

}  // namespace kemro::serve
