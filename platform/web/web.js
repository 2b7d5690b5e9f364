// The browser side of the web backend (platform/web/web.cpp), linked into the
// reader with --js-library. The page hands in Module.zarn: its screen element
// (640 × 480 CSS pixels, scaled as a whole), the display canvas, the URL of
// the issue's folder and what to do for full screen and at the end.
//
// Input is queued here as plain numbers and taken by the program when it
// looks; the program runs only inside its own calls, and its waits end here
// (zarn_web_wait) on a timer, an input event, or once the browser has drawn
// what the program last showed.
//
// [SECTION] State and helpers
// [SECTION] Waiting
// [SECTION] Keys
// [SECTION] Pointer and touch
// [SECTION] Windows
// [SECTION] Message boxes
// [SECTION] Audio
// [SECTION] Files
// [SECTION] Shell and settings

mergeInto(LibraryManager.library, {

  // [SECTION] State and helpers ----------------------------------------------

  $ZarnWeb: {
    events: [],
    wake: null,        // ends the wait in progress, with what woke it
    wakeOn: 0,         // what that wait asked to be woken by
    painted: true,     // the browser has drawn what the windows were last given
    frameAsked: false,
    waits: 0,          // waits started: the program ended if a wake starts none
    ended: false,
    windows: {},
    box: null,
    boxAnswer: 0,
    audio: null,
    gestured: false,
    fullScreenPending: false, // a switch asked for and not yet answered
    listeners: [],
    swipe: null,
    // For tests and measurements: each frame shown on the display (when, and
    // how long the program ran for it since the browser last had its turn),
    // the sound output's state and the frames it has played.
    stats: {presents: [], resumed: 0, audioState: 'none', audioPlayed: 0},

    page: function() {
      return Module['zarn'] || {};
    },

    listen: function(target, type, handler, options) {
      target.addEventListener(type, handler, options);
      ZarnWeb.listeners.push([target, type, handler, options]);
    },

    // Input for the program; wakes a wait that waits for input.
    push: function(kind, window, a, b, c) {
      if (ZarnWeb.ended)
        return;
      ZarnWeb.events.push([kind, window | 0, a | 0, b | 0, c | 0]);
      if (ZarnWeb.wake && (ZarnWeb.wakeOn & 1))
        ZarnWeb.wake(1);
    },

    // The program is over: listeners, sound and windows go; the page shows
    // what comes next.
    end: function(status) {
      if (ZarnWeb.ended)
        return;
      ZarnWeb.ended = true;
      ZarnWeb.listeners.forEach(function(l) { l[0].removeEventListener(l[1], l[2], l[3]); });
      ZarnWeb.listeners = [];
      if (ZarnWeb.audio)
        ZarnWebAudio.stop();
      for (var id in ZarnWeb.windows)
        if (!ZarnWeb.windows[id].main)
          ZarnWeb.windows[id].element.remove();
      ZarnWeb.windows = {};
      if (ZarnWeb.box)
        ZarnWeb.box.element.remove();
      var page = ZarnWeb.page();
      if (page.screen)
        page.screen.style.cursor = '';
      if (page.ended)
        page.ended(status);
    },

    // The first key, click or tap lets the browser start sound.
    gesture: function() {
      ZarnWeb.gestured = true;
      if (ZarnWeb.audio)
        ZarnWebAudio.start();
    },
  },

  zarn_web_start__deps: ['$ZarnWeb', '$ZarnWebKeys', '$ZarnWebBox', '$ZarnWebAudio'],
  zarn_web_start: function() {
    ZarnWeb.listen(window, 'keydown', function(e) { ZarnWebKeys.key(e, true); }, true);
    ZarnWeb.listen(window, 'keyup', function(e) { ZarnWebKeys.key(e, false); }, true);
    ['pointerdown', 'touchstart'].forEach(function(type) {
      ZarnWeb.listen(window, type, ZarnWeb.gesture, {capture: true, passive: true});
    });
    var repaint = function() { ZarnWeb.push(6, 0, 0, 0, 0); };
    ZarnWeb.listen(document, 'visibilitychange', function() { if (!document.hidden) repaint(); });
    ZarnWeb.listen(document, 'fullscreenchange', function() { ZarnWeb.fullScreenPending = false; repaint(); });
    ZarnWeb.listen(document, 'fullscreenerror', function() { ZarnWeb.fullScreenPending = false; });
    // The end of the program, however it comes: exit(), an abort, or the
    // return from main (seen by the wait that started nothing new).
    var exited = Module['onExit'], aborted = Module['onAbort'];
    Module['onExit'] = function(status) { ZarnWeb.end(status); if (exited) exited(status); };
    Module['onAbort'] = function(what) { ZarnWeb.end(-1); if (aborted) aborted(what); };
    Module['zarnStats'] = ZarnWeb.stats;
    ZarnWeb.stats.resumed = performance.now();
  },

  // [SECTION] Waiting --------------------------------------------------------

  zarn_web_wait__deps: ['$ZarnWeb'],
  zarn_web_wait: function(milliseconds, wakeOn) {
    return Asyncify.handleSleep(function(wakeUp) {
      ZarnWeb.waits++;
      if ((wakeOn & 2) && ZarnWeb.painted) {
        wakeUp(2);
        return;
      }
      if ((wakeOn & 1) && ZarnWeb.events.length) {
        wakeUp(1);
        return;
      }
      var timer = 0, done = false;
      var finish = function(woke) {
        if (done)
          return;
        done = true;
        clearTimeout(timer);
        ZarnWeb.wake = null;
        ZarnWeb.wakeOn = 0;
        var before = ZarnWeb.waits;
        ZarnWeb.stats.resumed = performance.now();
        try {
          wakeUp(woke);
        } catch (e) {
          if (!(e instanceof ExitStatus) && e !== 'unwind')
            throw e;
        } finally {
          // The program ran on and started no new wait: main has returned.
          if (ZarnWeb.waits == before)
            ZarnWeb.end(0);
        }
      };
      ZarnWeb.wake = finish;
      ZarnWeb.wakeOn = wakeOn;
      timer = setTimeout(function() { finish(0); }, milliseconds);
    });
  },

  zarn_web_painted__deps: ['$ZarnWeb'],
  zarn_web_painted: function() {
    return ZarnWeb.painted ? 1 : 0;
  },

  zarn_web_next_event__deps: ['$ZarnWeb'],
  zarn_web_next_event: function(fields) {
    var event = ZarnWeb.events.shift();
    if (!event)
      return 0;
    for (var i = 0; i < 5; i++)
      HEAP32[(fields >> 2) + i] = event[i];
    return 1;
  },

  // [SECTION] Keys -----------------------------------------------------------

  $ZarnWebKeys__deps: ['$ZarnWeb'],
  $ZarnWebKeys: {
    named: {
      'Backspace': 8, 'Tab': 9, 'Enter': 13, 'Shift': 16, 'Control': 17, 'Alt': 18, 'Escape': 27,
      'Esc': 27, ' ': 32, 'Spacebar': 32, 'PageUp': 33, 'PageDown': 34, 'End': 35, 'Home': 36,
      'ArrowLeft': 37, 'Left': 37, 'ArrowUp': 38, 'Up': 38, 'ArrowRight': 39, 'Right': 39,
      'ArrowDown': 40, 'Down': 40, 'Insert': 45, 'Delete': 46, 'Del': 46,
    },
    // Keys whose browser action (scrolling, focus, help, history) would get
    // in the reader's way.
    kept: {8: 1, 9: 1, 13: 1, 27: 1, 32: 1, 33: 1, 34: 1, 35: 1, 36: 1, 37: 1, 38: 1, 39: 1, 40: 1, 112: 1, 120: 1},

    // The Windows virtual-key code of a key event, 0 for keys the reader
    // does not know. Letters and digits follow the keyboard's layout, and
    // where it writes no Latin letter, the key's place.
    virtualKey: function(e) {
      var key = e.key || '';
      if (key in ZarnWebKeys.named)
        return ZarnWebKeys.named[key];
      var f = /^F([1-9]|1[0-2])$/.exec(key);
      if (f)
        return 111 + (+f[1]);
      if (/^[a-z0-9]$/i.test(key))
        return key.toUpperCase().charCodeAt(0);
      var code = e.code || '';
      if (/^Key[A-Z]$/.test(code))
        return code.charCodeAt(3);
      if (/^Digit[0-9]$/.test(code))
        return code.charCodeAt(5);
      return 0;
    },

    key: function(e, down) {
      if (ZarnWeb.ended)
        return;
      if (down)
        ZarnWeb.gesture();
      if (ZarnWeb.box) {
        if (down)
          ZarnWebBox.key(e);
        return;
      }
      var code = ZarnWebKeys.virtualKey(e);
      if (code) {
        // F11 and Alt+Enter are the reader's (full screen), not the browser's.
        if ((ZarnWebKeys.kept[code] && !e.ctrlKey && !e.metaKey && !e.altKey) || code == 122 ||
            (code == 13 && e.altKey) || (code == 70 && e.ctrlKey))
          e.preventDefault();
        ZarnWeb.push(down ? 1 : 2, 0, code, e.repeat ? 1 : 0, 0);
      }
      // A key that writes a character also types it (the search line).
      var typed = e.key || '';
      if (down && !e.ctrlKey && !e.metaKey && !e.altKey && typed.length && typed.length == String.fromCodePoint(
              typed.codePointAt(0)).length) {
        if (!code)
          e.preventDefault();  // the page's own find-as-you-type and the like
        ZarnWeb.push(7, 0, typed.codePointAt(0), 0, 0);
      }
    },
  },

  // [SECTION] Pointer and touch ----------------------------------------------

  $ZarnWebPointer__deps: ['$ZarnWeb'],
  $ZarnWebPointer: {
    // Client coordinates of the window's canvas, in its own pixels.
    at: function(canvas, e) {
      var r = canvas.getBoundingClientRect();
      return [Math.floor((e.clientX - r.left) * canvas.width / (r.width || 1)),
              Math.floor((e.clientY - r.top) * canvas.height / (r.height || 1))];
    },

    state: function(e, held) {
      return (held ? 1 : 0) | (e.shiftKey ? 4 : 0);
    },

    // A mouse or pen is a pointer with a left button. A finger taps (a
    // click where it touched) or swipes: left and right turn pages, up and
    // down go to the next or previous article (the arrow keys).
    attach: function(id, canvas) {
      var touch = null;
      ZarnWeb.listen(canvas, 'pointerdown', function(e) {
        if (!e.isPrimary)
          return;
        e.preventDefault();
        var p = ZarnWebPointer.at(canvas, e);
        if (e.pointerType == 'touch') {
          touch = {x: e.clientX, y: e.clientY, at: p};
          return;
        }
        if (e.button != 0)
          return;
        canvas.setPointerCapture(e.pointerId);
        ZarnWeb.push(3, id, p[0], p[1], ZarnWebPointer.state(e, true));
        ZarnWeb.push(4, id, p[0], p[1], ZarnWebPointer.state(e, true));
      });
      ZarnWeb.listen(canvas, 'pointermove', function(e) {
        if (!e.isPrimary || e.pointerType == 'touch')
          return;
        var p = ZarnWebPointer.at(canvas, e);
        ZarnWeb.push(3, id, p[0], p[1], ZarnWebPointer.state(e, e.buttons & 1));
      });
      ZarnWeb.listen(canvas, 'pointerup', function(e) {
        if (!e.isPrimary)
          return;
        if (e.pointerType == 'touch') {
          if (touch)
            ZarnWebPointer.touched(id, touch, e);
          touch = null;
          return;
        }
        if (e.button != 0)
          return;
        var p = ZarnWebPointer.at(canvas, e);
        ZarnWeb.push(5, id, p[0], p[1], ZarnWebPointer.state(e, false));
      });
      ZarnWeb.listen(canvas, 'pointercancel', function() { touch = null; });
      ZarnWeb.listen(canvas, 'contextmenu', function(e) { e.preventDefault(); });
    },

    touched: function(id, touch, e) {
      var dx = e.clientX - touch.x, dy = e.clientY - touch.y;
      var distance = Math.max(Math.abs(dx), Math.abs(dy));
      if (distance >= 40) {
        var code = Math.abs(dx) >= Math.abs(dy) ? (dx < 0 ? 39 : 37) : (dy < 0 ? 40 : 38);
        ZarnWeb.push(1, 0, code, 0, 0);
        ZarnWeb.push(2, 0, code, 0, 0);
        return;
      }
      var p = touch.at;
      ZarnWeb.push(3, id, p[0], p[1], 0);
      ZarnWeb.push(4, id, p[0], p[1], 1);
      ZarnWeb.push(5, id, p[0], p[1], 0);
    },
  },

  // [SECTION] Windows --------------------------------------------------------

  zarn_web_window__deps: ['$ZarnWeb', '$ZarnWebPointer'],
  zarn_web_window: function(id, dialog, x, y, width, height, visible, caption) {
    var page = ZarnWeb.page();
    var w = ZarnWeb.windows[id];
    if (!w) {
      if (!dialog) {
        w = {main: true, canvas: page.canvas, element: page.canvas};
      } else {
        var element = document.createElement('div');
        element.className = 'zarn-dialog';
        var title = document.createElement('div');
        title.className = 'zarn-caption';
        var canvas = document.createElement('canvas');
        element.appendChild(title);
        element.appendChild(canvas);
        page.screen.appendChild(element);
        w = {main: false, canvas: canvas, element: element, title: title};
      }
      ZarnWeb.windows[id] = w;
      if (w.canvas)
        ZarnWebPointer.attach(id, w.canvas);
    }
    if (w.main)
      return;
    var text = UTF8ToString(caption);
    w.title.textContent = text;
    w.title.hidden = !text;
    // The client area sits at (x, y) of the screen; the caption above it.
    w.element.style.left = x + 'px';
    w.element.style.top = (y - (text ? w.title.offsetHeight || 18 : 0)) + 'px';
    if (w.canvas.width != width || w.canvas.height != height) {
      w.canvas.width = Math.max(width, 1);
      w.canvas.height = Math.max(height, 1);
    }
    w.element.hidden = !visible;
  },

  zarn_web_window_gone__deps: ['$ZarnWeb'],
  zarn_web_window_gone: function(id) {
    var w = ZarnWeb.windows[id];
    if (w && !w.main)
      w.element.remove();
    delete ZarnWeb.windows[id];
  },

  zarn_web_show__deps: ['$ZarnWeb'],
  zarn_web_show: function(id, rgba, width, height) {
    var w = ZarnWeb.windows[id];
    if (!w || !w.canvas)
      return;
    if (w.canvas.width != width || w.canvas.height != height) {
      w.canvas.width = width;
      w.canvas.height = height;
    }
    var pixels = new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4);
    w.canvas.getContext('2d').putImageData(new ImageData(pixels, width, height), 0, 0);
    // Drawn with the next animation frame; until then a new picture would
    // be one the browser never shows.
    ZarnWeb.painted = false;
    if (!ZarnWeb.frameAsked) {
      ZarnWeb.frameAsked = true;
      requestAnimationFrame(function() {
        ZarnWeb.frameAsked = false;
        ZarnWeb.painted = true;
        if (ZarnWeb.wake && (ZarnWeb.wakeOn & 2))
          ZarnWeb.wake(2);
      });
    }
    if (w.main) {
      var now = performance.now();
      var presents = ZarnWeb.stats.presents;
      // When it was shown, and how long the program ran for it since the
      // browser last had its turn.
      if (presents.length < 100000)
        presents.push([now, now - ZarnWeb.stats.resumed]);
    }
  },

  zarn_web_cursor__deps: ['$ZarnWeb'],
  zarn_web_cursor: function(visible) {
    var page = ZarnWeb.page();
    if (page.screen)
      page.screen.style.cursor = visible ? '' : 'none';
  },

  // Whether the page is in full screen: 1 or 0, or -1 while a switch we
  // asked for is under way (the browser answers it later, or refuses).
  zarn_web_is_full_screen__deps: ['$ZarnWeb'],
  zarn_web_is_full_screen: function() {
    if (ZarnWeb.fullScreenPending)
      return -1;
    return document.fullscreenElement ? 1 : 0;
  },

  zarn_web_full_screen__deps: ['$ZarnWeb'],
  zarn_web_full_screen: function(on) {
    var page = ZarnWeb.page();
    if (!page.fullScreen)
      return;
    ZarnWeb.fullScreenPending = !!on !== !!document.fullscreenElement;
    page.fullScreen(!!on);
  },

  // [SECTION] Message boxes --------------------------------------------------

  $ZarnWebBox__deps: ['$ZarnWeb'],
  $ZarnWebBox: {
    answer: function(value) {
      if (!ZarnWeb.box)
        return;
      ZarnWeb.box.element.remove();
      ZarnWeb.box = null;
      ZarnWeb.boxAnswer = value;
      if (ZarnWeb.wake && (ZarnWeb.wakeOn & 1))
        ZarnWeb.wake(1);
    },

    // Enter takes the focused button, Esc cancels (or closes a box with OK
    // only), Tab and the arrows move between the buttons.
    key: function(e) {
      var box = ZarnWeb.box;
      e.preventDefault();
      if (e.key == 'Enter' || e.key == ' ') {
        ZarnWebBox.answer(box.buttons[box.focus].value);
      } else if (e.key == 'Escape' || e.key == 'Esc') {
        ZarnWebBox.answer(box.buttons.length > 1 ? 2 : 1);
      } else if (e.key == 'Tab' || e.key.indexOf('Arrow') == 0) {
        box.focus = (box.focus + 1) % box.buttons.length;
        box.buttons[box.focus].element.focus();
      }
    },
  },

  zarn_web_box_open__deps: ['$ZarnWeb', '$ZarnWebBox'],
  zarn_web_box_open: function(text, caption, withCancel) {
    var page = ZarnWeb.page();
    var backdrop = document.createElement('div');
    backdrop.className = 'zarn-box-backdrop';
    var box = document.createElement('div');
    box.className = 'zarn-box';
    box.setAttribute('role', 'alertdialog');
    var title = document.createElement('div');
    title.className = 'zarn-caption';
    title.textContent = UTF8ToString(caption);
    var message = document.createElement('div');
    message.className = 'zarn-box-text';
    message.textContent = UTF8ToString(text).replace(/\n+$/, '');
    var row = document.createElement('div');
    row.className = 'zarn-box-buttons';
    var buttons = [];
    [['OK', 1]].concat(withCancel ? [['Cancel', 2]] : []).forEach(function(b) {
      var button = document.createElement('button');
      button.textContent = b[0];
      button.addEventListener('click', function() { ZarnWebBox.answer(b[1]); });
      row.appendChild(button);
      buttons.push({element: button, value: b[1]});
    });
    box.appendChild(title);
    box.appendChild(message);
    box.appendChild(row);
    backdrop.appendChild(box);
    (page.stage || page.screen || document.body).appendChild(backdrop);
    ZarnWeb.box = {element: backdrop, buttons: buttons, focus: 0};
    ZarnWeb.boxAnswer = 0;
    buttons[0].element.focus();
  },

  zarn_web_box_answer__deps: ['$ZarnWeb'],
  zarn_web_box_answer: function() {
    var answer = ZarnWeb.boxAnswer;
    ZarnWeb.boxAnswer = 0;
    return answer;
  },

  // [SECTION] Audio ----------------------------------------------------------

  // Frames wait in a queue of chunks; the processor node plays from it once
  // enough has gathered (and again after running dry), and the queue is
  // trimmed when the browser plays nothing yet, or plays slower than the
  // program's clock runs.
  $ZarnWebAudio__deps: ['$ZarnWeb'],
  $ZarnWebAudio: {
    start: function() {
      var audio = ZarnWeb.audio;
      if (audio.context) {
        if (audio.context.state == 'suspended')
          audio.context.resume();
        return;
      }
      var Context = window.AudioContext || window.webkitAudioContext;
      try {
        audio.context = new Context({sampleRate: audio.rate});
      } catch (e) {
        audio.context = new Context();
      }
      audio.step = audio.rate / audio.context.sampleRate;
      var context = audio.context;
      ZarnWeb.stats.audioState = context.state;
      context.onstatechange = function() { ZarnWeb.stats.audioState = context.state; };
      audio.node = audio.context.createScriptProcessor(2048, 0, 2);
      audio.node.onaudioprocess = ZarnWebAudio.play;
      audio.node.connect(audio.context.destination);
      if (audio.context.state == 'suspended')
        audio.context.resume();
    },

    stop: function() {
      var audio = ZarnWeb.audio;
      ZarnWeb.audio = null;
      if (audio && audio.context) {
        audio.node.disconnect();
        audio.context.close();
      }
    },

    play: function(e) {
      var audio = ZarnWeb.audio;
      var left = e.outputBuffer.getChannelData(0), right = e.outputBuffer.getChannelData(1);
      var n = left.length, i = 0;
      if (audio && !audio.playing && audio.frames >= audio.rate / 10)
        audio.playing = true;
      if (audio && audio.playing) {
        for (; i < n; i++) {
          var chunk = audio.chunks[0];
          if (!chunk) {
            audio.playing = false; // ran dry: gather again before playing on
            break;
          }
          left[i] = chunk[audio.offset] / 32768;
          right[i] = chunk[audio.offset + 1] / 32768;
          ZarnWeb.stats.audioPlayed++;
          audio.phase += audio.step;
          while (audio.phase >= 1 && chunk) {
            audio.phase -= 1;
            audio.offset += 2;
            audio.frames--;
            if (audio.offset >= chunk.length) {
              audio.chunks.shift();
              audio.offset = 0;
              chunk = audio.chunks[0];
            }
          }
        }
      }
      for (; i < n; i++)
        left[i] = right[i] = 0;
    },
  },

  zarn_web_audio_present: function() {
    return (typeof window != 'undefined' && (window.AudioContext || window.webkitAudioContext)) ? 1 : 0;
  },

  zarn_web_audio_open__deps: ['$ZarnWeb', '$ZarnWebAudio'],
  zarn_web_audio_open: function(rate) {
    ZarnWeb.audio = {rate: rate, context: null, node: null, chunks: [], offset: 0, frames: 0, phase: 0,
                     step: 1, playing: false};
    if (ZarnWeb.gestured)
      ZarnWebAudio.start();
  },

  zarn_web_audio_queue__deps: ['$ZarnWeb'],
  zarn_web_audio_queue: function(frames, count) {
    var audio = ZarnWeb.audio;
    // Before the browser lets sound start, what is mixed cannot play.
    if (!audio || !audio.context || audio.context.state != 'running')
      return;
    audio.chunks.push(HEAP16.slice(frames >> 1, (frames >> 1) + count * 2));
    audio.frames += count;
    while (audio.frames > audio.rate / 2 && audio.chunks.length > 1) {
      audio.frames -= (audio.chunks[0].length - audio.offset) / 2;
      audio.chunks.shift();
      audio.offset = 0;
    }
  },

  zarn_web_audio_close__deps: ['$ZarnWeb', '$ZarnWebAudio'],
  zarn_web_audio_close: function() {
    ZarnWebAudio.stop();
  },

  // [SECTION] Files ----------------------------------------------------------

  // The file layer looks for every name in twelve folders before the
  // archive, and the 3D loader asks for a missing texture once per face: on
  // a disk a miss costs a microsecond, in the in-memory file system two
  // exceptions (tens of microseconds; hundreds of milliseconds at start-up).
  // A name whose folder in memory plainly lacks it fails here at once;
  // anything less certain (links, other file systems) goes the usual way.
  $ZarnWebFiles__deps: ['$FS', '$PATH_FS', '$MEMFS'],
  $ZarnWebFiles: {
    surelyMissing: function(path) {
      var parts = PATH_FS.resolve(path).split('/');
      var node = FS.root;
      for (var i = 0; i < parts.length; i++) {
        if (!parts[i])
          continue;
        if (FS.isMountpoint(node))
          node = node.mounted.root;
        if (!FS.isDir(node.mode) || node.mount.type !== MEMFS)
          return false;
        var next = null;
        for (var n = FS.nameTable[FS.hashName(node.id, parts[i])]; n; n = n.name_next)
          if (n.parent.id === node.id && n.name === parts[i]) {
            next = n;
            break;
          }
        if (!next)
          return true;
        if (FS.isLink(next.mode))
          return false;
        node = next;
      }
      return false;
    },
  },

  __syscall_open__deps: ['$FS', '$SYSCALLS', '$ZarnWebFiles'],
  __syscall_open: function(path, flags, varargs) {
    SYSCALLS.varargs = varargs;
    try {
      var name = SYSCALLS.getStr(path);
      if (!(flags & {{{ cDefine('O_CREAT') }}}) && ZarnWebFiles.surelyMissing(name))
        return -{{{ cDefine('ENOENT') }}};
      var mode = varargs ? SYSCALLS.get() : 0;
      return FS.open(name, flags, mode).fd;
    } catch (e) {
      if (typeof FS == 'undefined' || !(e instanceof FS.ErrnoError))
        throw e;
      return -e.errno;
    }
  },

  // [SECTION] Shell and settings ---------------------------------------------

  zarn_web_open__deps: ['$ZarnWeb'],
  zarn_web_open: function(target, document) {
    var url = UTF8ToString(target);
    if (document) {
      var base = ZarnWeb.page().issueUrl || location.href;
      url = new URL(url.split('/').map(encodeURIComponent).join('/'), base).href;
    }
    window.open(url, '_blank', 'noopener,noreferrer');
  },

  zarn_web_setting_read: function(name, text, size) {
    try {
      var value = localStorage.getItem(UTF8ToString(name));
      if (value === null || lengthBytesUTF8(value) >= size)
        return 0;
      stringToUTF8(value, text, size);
      return 1;
    } catch (e) {
      return 0; // storage refused (private mode, settings)
    }
  },

  zarn_web_setting_write: function(name, text) {
    try {
      localStorage.setItem(UTF8ToString(name), UTF8ToString(text));
      return 1;
    } catch (e) {
      return 0;
    }
  },
});
