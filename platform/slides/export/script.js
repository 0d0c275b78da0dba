function LoadSld() {
  // The slide picture fills the window at the slide's own aspect, centred.
  SldFit();
  window.onresize = SldFit;
  // Clicks and keys on a slide turn slides in the viewer around it.
  document.onclick = SldClick;
  document.onkeydown = SldKey;
  // The course player draws the recorded pointer and ink over the slide and needs its shape.
  if (window.parent !== window) {
    window.parent.postMessage({ tovra: 'slide', from: 'slide', width: gSldWidth, height: gSldHeight }, '*');
  }
}

function SldFit() {
  var slide = document.getElementById('SlideObj');
  if (!slide) return;
  var w = window.innerWidth || document.documentElement.clientWidth;
  var h = window.innerHeight || document.documentElement.clientHeight;
  var scale = Math.min(w / gSldWidth, h / gSldHeight);
  if (!(scale > 0)) scale = 1;
  var sw = Math.round(gSldWidth * scale), sh = Math.round(gSldHeight * scale);
  slide.style.left = Math.floor((w - sw) / 2) + 'px';
  slide.style.top = Math.floor((h - sh) / 2) + 'px';
  slide.style.width = sw + 'px';
  slide.style.height = sh + 'px';
}

function SldTell(command) {
  if (window.parent !== window) window.parent.postMessage({ tovra: command, from: 'slide' }, '*');
}

function SldClick(event) {
  event = event || window.event;
  if (event && event.button) return true;
  SldTell('next');
  return true;
}

function SldKey(event) {
  event = event || window.event;
  if (!event || event.altKey || event.ctrlKey || event.metaKey) return true;
  switch (event.key) {
    case 'ArrowRight': case 'ArrowDown': case 'PageDown': case ' ': case 'Enter':
      SldTell('next');
      break;
    case 'ArrowLeft': case 'ArrowUp': case 'PageUp': case 'Backspace':
      SldTell('prev');
      break;
    case 'Home':
      SldTell('first');
      break;
    case 'End':
      SldTell('last');
      break;
    default:
      return true;
  }
  if (event.preventDefault) event.preventDefault();
  return false;
}
