// The live page's script (served as /live_page.js; the page allows no inline
// script). Texts from instruments are only ever set as text, never as HTML.
"use strict";
// Colour-blind-safe line colours (Okabe-Ito), as in orv plot.
const COLORS = ["#0072b2", "#e69f00", "#009e73", "#cc79a7", "#56b4e9", "#d55e00", "#f0e442",
                "#000000"];
// `mode` is what the plot shows; `modeChanges` tells the followers to fetch
// the current spectrum again in the new mode.
const state = { instruments: [], datasets: {}, draws: 0, dirty: false, chart: null,
                mode: "counts", modeChanges: 0 };

function text(tag, className, content) {
  const element = document.createElement(tag);
  if (className) element.className = className;
  if (content !== undefined) element.textContent = content;
  return element;
}

function formatDuration(us) {
  if (us < 1000) return us + "us";
  if (us < 1000000) return (us / 1000) + "ms";
  return (us / 1000000) + "s";
}

function describeSettings(settings) {
  return "integration " + formatDuration(settings.integration_us) + ", average " + settings.average;
}

function setStatus(chip, message, isError) {
  const status = document.getElementById("status-" + chip);
  status.textContent = message;
  status.className = "status" + (isError ? " error" : "");
}

function scheduleDraw() {
  if (state.dirty) return;
  state.dirty = true;
  requestAnimationFrame(() => {
    state.dirty = false;
    state.chart.update("none");
    state.draws += 1;
    document.body.dataset.draws = String(state.draws);
  });
}

// Changes go as JSON, which no plain form of another site can send.
async function post(path, fields) {
  const response = await fetch(path, { method: "POST", body: JSON.stringify(fields),
                                       headers: { "Content-Type": "application/json" } });
  const body = await response.json();
  if (!response.ok) throw new Error(body.error || response.statusText);
  return body;
}

function describeStored(what, stored) {
  if (!stored) return what + ": none";
  return what + ": spectrum " + stored.sequence + " (" + describeSettings(stored.settings) + ")";
}

function showStored(chip, dark, reference) {
  document.getElementById("stored-" + chip).textContent =
    describeStored("dark", dark) + " \u00b7 " + describeStored("reference", reference);
}

function csvAddress(chip) {
  return "/api/spectrum.csv?instrument=" + encodeURIComponent(chip) + "&mode=" +
         encodeURIComponent(state.mode);
}

function instrumentPanel(instrument, color) {
  const chip = instrument.chip_serial;
  const panel = text("div", "instrument");
  panel.id = "instrument-" + chip;
  panel.style.borderLeftColor = color;
  const title = text("h2", "", (instrument.model || "instrument") + " " + (instrument.serial || ""));
  if (instrument.simulated) title.append(" ", text("span", "simulated", "SIMULATED"));
  panel.append(title);
  panel.append(text("div", "identity", chip + " \u00b7 " + instrument.protocol + " \u00b7 " +
                                       instrument.description + " \u00b7 hardware " +
                                       instrument.hardware_version));

  const show = document.createElement("input");
  show.type = "checkbox";
  show.checked = true;
  show.id = "show-" + chip;
  show.addEventListener("change", () => {
    state.datasets[chip].hidden = !show.checked;
    scheduleDraw();
  });
  const showLabel = text("label");
  showLabel.append(show, " show");

  const integration = document.createElement("input");
  integration.type = "text";
  integration.id = "integration-" + chip;
  integration.value = formatDuration(instrument.settings.integration_us);
  const integrationLabel = text("label", "", "integration ");
  integrationLabel.append(integration);

  const average = document.createElement("input");
  average.type = "number";
  average.min = "1";
  average.max = "255";
  average.id = "average-" + chip;
  average.value = instrument.settings.average;
  const averageLabel = text("label", "", "average ");
  averageLabel.append(average);

  const apply = text("button", "", "Apply");
  apply.id = "apply-" + chip;
  apply.addEventListener("click", async () => {
    setStatus(chip, "applying...", false);
    try {
      const result = await post("/api/settings",
                                { instrument: chip, integration: integration.value,
                                  average: average.value });
      integration.value = formatDuration(result.settings.integration_us);
      average.value = result.settings.average;
      setStatus(chip, "applied: " + describeSettings(result.settings), false);
      panel.dataset.integrationUs = String(result.settings.integration_us);
    } catch (error) {
      setStatus(chip, error.message, true);
    }
  });

  const pause = text("button", "", "Pause");
  pause.id = "pause-" + chip;
  pause.addEventListener("click", async () => {
    const pausing = pause.textContent === "Pause";
    try {
      await post("/api/pause", { instrument: chip, paused: pausing });
      pause.textContent = pausing ? "Resume" : "Pause";
      setStatus(chip, pausing ? "paused" : "running", false);
    } catch (error) {
      setStatus(chip, error.message, true);
    }
  });

  const download = text("a", "", "Download CSV");
  download.id = "download-" + chip;
  download.className = "download";
  download.href = csvAddress(chip);
  download.setAttribute("download", chip + ".csv");

  const storeButtons = ["dark", "reference"].map(what => {
    const button = text("button", "", "Store " + what);
    button.id = "store-" + what + "-" + chip;
    button.addEventListener("click", async () => {
      try {
        const result = await post("/api/store", { instrument: chip, what: what });
        const stored = result[what];
        panel.dataset[what] = String(stored.sequence);
        setStatus(chip, "stored " + describeStored(what, stored), false);
        state.modeChanges += 1;  // the values change with it
      } catch (error) {
        setStatus(chip, error.message, true);
      }
    });
    return button;
  });

  const controls = text("div");
  controls.append(showLabel, integrationLabel, averageLabel, text("br"), apply, pause, download,
                  text("br"), ...storeButtons);
  panel.append(controls);
  const stored = text("div", "stored");
  stored.id = "stored-" + chip;
  panel.append(stored);
  const warning = text("div", "warning");
  warning.id = "warning-" + chip;
  panel.append(warning);
  const status = text("div", "status", instrument.error || "");
  status.id = "status-" + chip;
  panel.append(status);
  return panel;
}

// The plotted points of a spectrum in the current mode; none (and the
// reason shown) when the mode has no values for it.
function modePoints(chip, spectrum) {
  const mode = spectrum.mode;
  showStored(chip, mode.dark, mode.reference);
  document.getElementById("warning-" + chip).textContent = mode.refusal || "";
  const panel = document.getElementById("instrument-" + chip);
  panel.dataset.mode = mode.name;
  panel.dataset.undefined = mode.refusal ? "" : String(spectrum.undefined.total);
  state.chart.options.scales.y.title.text = mode.label;
  state.chart.options.scales.y.beginAtZero = mode.name === "counts";
  document.getElementById("chart").dataset.label = mode.label;
  if (mode.refusal) return [];
  const points = new Array(spectrum.values.length);
  for (let i = 0; i < points.length; i++)
    points[i] = { x: spectrum.wavelength_nm[i], y: spectrum.values[i] };
  return points;
}

async function follow(chip) {
  let after = 0;
  let modeChanges = state.modeChanges;
  for (;;) {
    try {
      if (modeChanges !== state.modeChanges) {
        modeChanges = state.modeChanges;
        after = 0;  // the latest spectrum again, in the new mode
      }
      const mode = state.mode;
      const response = await fetch("/api/spectrum?instrument=" + encodeURIComponent(chip) +
                                   "&after=" + after + "&mode=" + encodeURIComponent(mode));
      if (response.status === 200) {
        const spectrum = await response.json();
        if (mode !== state.mode) continue;  // asked before the mode changed
        after = spectrum.sequence;
        const points = modePoints(chip, spectrum);
        state.datasets[chip].data = points;
        const panel = document.getElementById("instrument-" + chip);
        panel.dataset.sequence = String(after);
        panel.dataset.points = String(points.filter(point => point.y !== null).length);
        scheduleDraw();
      } else if (response.status !== 204) {
        await new Promise(resolve => setTimeout(resolve, 1000));
      }
    } catch (error) {
      document.getElementById("summary").textContent = "connection lost: " + error.message;
      await new Promise(resolve => setTimeout(resolve, 1000));
    }
  }
}

async function start() {
  const response = await fetch("/api/instruments");
  if (!response.ok) {
    // Without the token's cookie (a new run has a new token).
    document.getElementById("summary").textContent =
      "not allowed: open the address with the token that orv serve printed";
    return;
  }
  state.instruments = await response.json();
  const datasets = state.instruments.map((instrument, i) => {
    const dataset = { label: instrument.chip_serial + " " + instrument.model, data: [],
                      borderColor: COLORS[i % COLORS.length], borderWidth: 1.2,
                      pointRadius: 0, parsing: false, normalized: true };
    state.datasets[instrument.chip_serial] = dataset;
    return dataset;
  });
  state.chart = new Chart(document.getElementById("chart"), {
    type: "line",
    data: { datasets: datasets },
    options: {
      animation: false, responsive: true, maintainAspectRatio: false,
      scales: { x: { type: "linear", title: { display: true, text: "Wavelength (nm)" } },
                y: { beginAtZero: true, title: { display: true, text: "Counts" } } },
      plugins: { legend: { position: "top" } }
    }
  });
  const list = document.getElementById("instruments");
  state.instruments.forEach((instrument, i) =>
    list.append(instrumentPanel(instrument, COLORS[i % COLORS.length])));
  document.getElementById("summary").textContent =
    state.instruments.length + " instrument" + (state.instruments.length === 1 ? "" : "s") +
    (state.instruments.some(instrument => instrument.simulated) ? " (SIMULATED)" : "");
  state.instruments.forEach(instrument => showStored(instrument.chip_serial, instrument.dark,
                                                      instrument.reference));
  const modeSelector = document.getElementById("mode");
  modeSelector.value = state.mode;
  modeSelector.addEventListener("change", () => {
    state.mode = modeSelector.value;
    state.modeChanges += 1;
    state.instruments.forEach(instrument => {
      const chip = instrument.chip_serial;
      document.getElementById("download-" + chip).href = csvAddress(chip);
    });
  });
  state.instruments.forEach(instrument => follow(instrument.chip_serial));
}

start();
