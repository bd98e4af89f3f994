// Canvas drawings: the response (magnitude and phase over a logarithmic frequency axis)
// and the scope. Plain canvas: two small plots need no library.

const kColours = { grid: '#d8dde3', text: '#56606b', magnitude: '#1f6fb2', phase: '#d9822b', input: '#a7b0ba' };

// A canvas sized to its box on this screen, with its 2D context and the box's size.
function prepare(canvas) {
  const ratio = window.devicePixelRatio || 1;
  const width = canvas.clientWidth;
  const height = canvas.clientHeight;
  if (canvas.width !== Math.round(width * ratio) || canvas.height !== Math.round(height * ratio)) {
    canvas.width = Math.round(width * ratio);
    canvas.height = Math.round(height * ratio);
  }
  const context = canvas.getContext('2d');
  context.setTransform(ratio, 0, 0, ratio, 0, 0);
  context.clearRect(0, 0, width, height);
  context.font = '11px system-ui, sans-serif';
  return { context, width, height };
}

function line(context, points, colour) {
  context.strokeStyle = colour;
  context.lineWidth = 1.5;
  context.beginPath();
  points.forEach(([x, y], i) => (i === 0 ? context.moveTo(x, y) : context.lineTo(x, y)));
  context.stroke();
}

function frequencyLabel(hz) {
  return hz >= 1000 ? `${hz / 1000}k` : `${hz}`;
}

// `points`: [{hz, db, degrees}]; `failure`: a text shown instead when there is nothing to plot.
export function drawResponse(canvas, points, failure) {
  const { context, width, height } = prepare(canvas);
  const plot = { left: 44, right: width - 40, top: 10, bottom: height - 22 };
  if (failure || points.length === 0) {
    context.fillStyle = kColours.text;
    context.fillText(failure || 'no response', plot.left, height / 2);
    return;
  }
  const lowest = points[0].hz;
  const highest = points[points.length - 1].hz;
  const finite = points.map((p) => p.db).filter(Number.isFinite);
  const top = Math.ceil((Math.max(...finite) + 3) / 6) * 6;
  const bottom = Math.max(Math.floor(Math.min(...finite) / 6) * 6, top - 96);
  const x = (hz) => plot.left + ((plot.right - plot.left) * Math.log(hz / lowest)) / Math.log(highest / lowest);
  const y = (db) => plot.top + ((plot.bottom - plot.top) * (top - Math.min(Math.max(db, bottom), top))) / (top - bottom);
  const yPhase = (degrees) => plot.top + ((plot.bottom - plot.top) * (180 - degrees)) / 360;

  context.strokeStyle = kColours.grid;
  context.lineWidth = 1;
  context.fillStyle = kColours.text;
  for (let decade = 10; decade <= highest; decade *= 10) {
    for (const step of [1, 2, 5]) {
      const hz = decade * step;
      if (hz < lowest || hz > highest) continue;
      context.beginPath();
      context.moveTo(x(hz), plot.top);
      context.lineTo(x(hz), plot.bottom);
      context.stroke();
      context.fillText(frequencyLabel(hz), x(hz) - 8, height - 6);
    }
  }
  const dbStep = (top - bottom) / 6 > 12 ? 24 : (top - bottom) / 6 > 6 ? 12 : 6;
  for (let db = top; db >= bottom; db -= dbStep) {
    context.beginPath();
    context.moveTo(plot.left, y(db));
    context.lineTo(plot.right, y(db));
    context.stroke();
    context.fillText(`${db} dB`, 2, y(db) + 4);
  }
  for (const degrees of [-180, -90, 0, 90, 180]) context.fillText(`${degrees}°`, plot.right + 4, yPhase(degrees) + 4);

  line(context, points.map((p) => [x(p.hz), yPhase(p.degrees)]), kColours.phase);
  line(context, points.map((p) => [x(p.hz), y(p.db)]), kColours.magnitude);
}

// The latest samples in and out, on one scale that shows both.
export function drawScope(canvas, input, output) {
  const { context, width, height } = prepare(canvas);
  let peak = 1;
  for (const samples of [input, output]) {
    for (const sample of samples) if (Number.isFinite(sample)) peak = Math.max(peak, Math.abs(sample));
  }
  const y = (sample) => height / 2 - ((height / 2 - 4) * Math.max(-peak, Math.min(peak, sample))) / peak;
  context.strokeStyle = kColours.grid;
  context.beginPath();
  context.moveTo(0, height / 2);
  context.lineTo(width, height / 2);
  context.stroke();
  const trace = (samples) => Array.from(samples, (sample, i) => [(width * i) / (samples.length - 1), y(sample)]);
  line(context, trace(input), kColours.input);
  line(context, trace(output), kColours.magnitude);
  context.fillStyle = kColours.text;
  context.fillText(`±${peak.toFixed(peak > 1 ? 1 : 0)}`, 4, 12);
}
