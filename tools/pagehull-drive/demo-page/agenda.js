// The agenda keeps its items and its state for the tab's whole session, so that it looks the
// same after the way back from another page. Everything the user does is reported to the
// add-in through the host's bridge.
const items = document.getElementById('items');
const field = document.getElementById('item');
const status = document.getElementById('status');
const saved = JSON.parse(sessionStorage.getItem('agenda') || '{"added": [], "status": ""}');

function report(text) {
  brelvo.Mevora.dispatchEvent(text);
}

function show() {
  for (const text of saved.added) {
    const entry = document.createElement('li');
    entry.textContent = text;
    items.appendChild(entry);
  }
  if (saved.status) status.textContent = saved.status;
  document.body.classList.toggle('published', saved.status.startsWith('Published'));
}

function remember() {
  sessionStorage.setItem('agenda', JSON.stringify(saved));
}

function add() {
  const text = field.value.trim();
  if (!text) return;
  saved.added.push(text);
  remember();
  const entry = document.createElement('li');
  entry.textContent = text;
  items.appendChild(entry);
  field.value = '';
  report('added:' + text);
}

document.getElementById('add').addEventListener('click', add);
field.addEventListener('keydown', (e) => {
  if (e.key === 'Enter' || e.keyCode === 13) add();
});

document.getElementById('publish').addEventListener('click', () => {
  const yes = confirm('Publish this agenda to the meeting?');
  saved.status = yes ? 'Published to the meeting' : 'Kept as a draft';
  remember();
  status.textContent = saved.status;
  document.body.classList.toggle('published', yes);
  report('published:' + yes);
});

document.getElementById('minutes').addEventListener('click', () => {
  window.open('minutes.html', 'minutes');
});

window.addEventListener('resize', () => report('resized:' + innerWidth + 'x' + innerHeight));

// A clock, so that the page paints again every second.
function tick() {
  document.getElementById('clock').textContent = new Date().toLocaleTimeString('en-GB');
}
setInterval(tick, 1000);
tick();

show();
report('agendaReady:' + items.children.length);
