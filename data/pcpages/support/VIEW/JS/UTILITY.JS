// Scripts of the PC pages of a photo disc. Plain functions called from the
// pages' event attributes; nothing runs by itself.

// Fits the picture of a view page to the window. src names the picture (the
// image whose src attribute reads so; else the page's main image), width and
// height its size as the page was written. The picture grows to fill the
// room left below the title and the buttons, but never beyond the pixels of
// its file, and shrinks with a small window; its shape is kept.
function maximizeImage(src, width, height) {
  var img = null;
  for (var i = 0; i < document.images.length; i++) {
    if (document.images[i].getAttribute('src') === src) {
      img = document.images[i];
      break;
    }
  }
  if (!img) img = document.getElementById('mainimage');
  if (!img) return;
  var w = parseInt(width, 10);
  var h = parseInt(height, 10);
  if (!(w > 0 && h > 0)) return;

  var box = document.getElementById('main') || img.parentNode;
  var top = box.getBoundingClientRect().top + (window.pageYOffset || 0);
  var roomW = document.documentElement.clientWidth - 16;
  var roomH = window.innerHeight - top - 16;
  if (roomW < 1 || roomH < 1) return;

  var scale = Math.min(roomW / w, roomH / h);
  if (img.naturalWidth > 0 && img.naturalHeight > 0) {
    scale = Math.min(scale, Math.max(img.naturalWidth / w, img.naturalHeight / h));
  }
  img.width = Math.max(1, Math.floor(w * scale));
  img.height = Math.max(1, Math.floor(h * scale));
}

// Starts the music of the slide show. A browser that refuses to start sound
// by itself gets a small button in the music frame; pressing it starts the
// music and hides the button again.
function startMusic() {
  var music = document.getElementById('music');
  var button = document.getElementById('musicstart');
  if (!music || typeof music.play !== 'function') return;
  var started;
  try {
    started = music.play();
  } catch (e) {
    started = null;
  }
  if (started && typeof started.then === 'function') {
    started.then(function () {
      if (button) button.hidden = true;
    }, function () {
      if (button) button.hidden = false;
    });
  }
}
