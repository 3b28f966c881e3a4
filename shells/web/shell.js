// The page around the musicdisk: the window (a canvas shaped by the skin's
// outline, dragged over the page), its input, the line that asks for the
// first click, the system's media controls, and the sound sink. The C++
// shell (shells/web/main.cpp) calls Module.shell; the page's events call the C++
// functions it exports.

// One queue of 40 ms blocks in front of the speakers. The same code runs in
// the audio worklet and, where there is none, behind a script processor on
// the page. `report` is told after every block played to its end.
function BlockPlayer(report) {
  this.blocks = [];
  this.offset = 0;
  this.generation = 0;
  this.paused = false;
  this.played = 0;
  this.underrun = 0;
  this.report = report;
  this.take = function (message) {
    if (message.type === "open") {
      this.blocks = [];
      this.offset = 0;
      this.generation = message.generation;
      this.paused = false;
      this.played = 0;
    } else if (message.type === "drop") {
      this.blocks = [];
      this.offset = 0;
      this.generation = message.generation;
      this.played = 0;
    } else if (message.type === "block") {
      if (message.generation === this.generation) this.blocks.push(message.samples);
    } else if (message.type === "pause") {
      this.paused = true;
    } else if (message.type === "resume") {
      this.paused = false;
    }
  };
  this.fill = function (out) {
    var finished = false;
    var i = 0;
    if (!this.paused) {
      while (i < out.length && this.blocks.length > 0) {
        var block = this.blocks[0];
        var n = Math.min(out.length - i, block.length - this.offset);
        out.set(block.subarray(this.offset, this.offset + n), i);
        i += n;
        this.offset += n;
        if (this.offset === block.length) {
          this.blocks.shift();
          this.offset = 0;
          this.played++;
          finished = true;
        }
      }
      if (i < out.length && this.played > 0) this.underrun += out.length - i;
    }
    out.fill(0, i);
    if (finished) this.report({type: "played", generation: this.generation, played: this.played,
                               underrun: this.underrun});
  };
}

var WORKLET_SOURCE =
  BlockPlayer.toString() + "\n" +
  "class BlockPlayerProcessor extends AudioWorkletProcessor {\n" +
  "  constructor() {\n" +
  "    super();\n" +
  "    var port = this.port;\n" +
  "    this.player = new BlockPlayer(function (m) { port.postMessage(m); });\n" +
  "    var player = this.player;\n" +
  "    port.onmessage = function (e) { player.take(e.data); };\n" +
  "  }\n" +
  "  process(inputs, outputs) {\n" +
  "    this.player.fill(outputs[0][0]);\n" +
  "    return true;\n" +
  "  }\n" +
  "}\n" +
  "registerProcessor('block-player', BlockPlayerProcessor);\n";

Module.shell = (function () {
  var recording = /[?&]record\b/.test(location.search);
  var ended = false;

  function element(id) {
    return document.getElementById(id);
  }

  // --- the sound sink ---------------------------------------------------
  var sound = {
    context: null,
    // "worklet", "script processor", or "none" when the page has no sound.
    path: "none",
    send: null,
    early: [],
    generation: 0,
    sent: 0,
    played: 0,
    underrun: 0,
    // With ?record in the address: every block queued, per opening, for the test.
    segments: recording ? [] : null,

    heard: function (message) {
      if (message.generation !== sound.generation) return;
      sound.played = message.played;
      sound.underrun = message.underrun;
      if (!ended) Module._veltrane_sound_wants_blocks();
    },

    post: function (message, transfer) {
      if (sound.send) sound.send(message, transfer);
      else sound.early.push([message, transfer]);
    },

    connect: function (context) {
      var useScriptProcessor = /[?&]scriptprocessor\b/.test(location.search);
      if (context.audioWorklet && !useScriptProcessor) {
        sound.path = "worklet";
        var url = URL.createObjectURL(new Blob([WORKLET_SOURCE], {type: "text/javascript"}));
        context.audioWorklet.addModule(url).then(function () {
          var node = new AudioWorkletNode(context, "block-player",
                                          {numberOfInputs: 0, numberOfOutputs: 1, outputChannelCount: [1]});
          node.port.onmessage = function (e) { sound.heard(e.data); };
          node.connect(context.destination);
          sound.node = node;
          sound.ready(function (m, t) { node.port.postMessage(m, t || []); });
        }, function (error) {
          console.warn("veltrane::music: no audio worklet (" + error + "), using a script processor");
          sound.connectScriptProcessor(context);
        });
      } else {
        sound.connectScriptProcessor(context);
      }
    },

    connectScriptProcessor: function (context) {
      sound.path = "script processor";
      var player = new BlockPlayer(function (m) { setTimeout(function () { sound.heard(m); }, 0); });
      // 2048 frames: about 46 ms, one block and a bit, at 44100 Hz.
      var node = context.createScriptProcessor(2048, 0, 1);
      node.onaudioprocess = function (e) { player.fill(e.outputBuffer.getChannelData(0)); };
      node.connect(context.destination);
      sound.node = node;
      sound.ready(function (m) { player.take(m); });
    },

    ready: function (send) {
      sound.send = send;
      var early = sound.early;
      sound.early = [];
      early.forEach(function (e) { send(e[0], e[1]); });
    },

    open: function (rate, blockSamples) {
      if (!sound.context) {
        var AudioContextClass = window.AudioContext || window.webkitAudioContext;
        if (!AudioContextClass) return 0;
        try {
          sound.context = new AudioContextClass({sampleRate: rate, latencyHint: "playback"});
        } catch (error) {
          console.warn("veltrane::music: no sound (" + error + ")");
          return 0;
        }
        sound.context.onstatechange = hint.update;
        sound.connect(sound.context);
        hint.update();
      }
      sound.blockSamples = blockSamples;
      sound.generation++;
      sound.sent = 0;
      sound.played = 0;
      sound.post({type: "open", generation: sound.generation});
      if (sound.segments) sound.segments.push({blocks: []});
      return 1;
    },

    queue: function (pointer, count) {
      var pcm = HEAP16.subarray(pointer >> 1, (pointer >> 1) + count);
      // int16 / 32768 is exact in single precision: the speakers get the
      // very samples the waveOut device would play.
      var samples = new Float32Array(count);
      for (var i = 0; i < count; i++) samples[i] = pcm[i] / 32768;
      if (sound.segments) sound.segments[sound.segments.length - 1].blocks.push(samples.slice());
      sound.post({type: "block", generation: sound.generation, samples: samples}, [samples.buffer]);
      sound.sent++;
    },

    pending: function () {
      return sound.sent - sound.played;
    },

    drop: function () {
      sound.generation++;
      sound.sent = 0;
      sound.played = 0;
      sound.post({type: "drop", generation: sound.generation});
    },

    pause: function () { sound.post({type: "pause"}); },
    resume: function () { sound.post({type: "resume"}); },

    // The segments recorded so far: for each opening the blocks queued and
    // the samples handed to Web Audio, base64 of 32-bit little-endian floats.
    recorded: function () {
      return (sound.segments || []).map(function (segment) {
        var total = segment.blocks.reduce(function (n, b) { return n + b.length; }, 0);
        var all = new Float32Array(total);
        var at = 0;
        segment.blocks.forEach(function (b) { all.set(b, at); at += b.length; });
        var bytes = new Uint8Array(all.buffer);
        var text = "";
        for (var i = 0; i < bytes.length; i += 32768) {
          text += String.fromCharCode.apply(null, bytes.subarray(i, i + 32768));
        }
        return {blocks: segment.blocks.length, samples: btoa(text)};
      });
    }
  };

  // --- the line that asks for a click -----------------------------------
  var hint = {
    // Whether the gesture that starts the sound has come. The context stays
    // suspended for a while after it, and what the user does meanwhile is
    // meant for the musicdisk.
    asked: false,
    // Browsers start sound only after a gesture: until then the sound is
    // queued but the context is suspended.
    update: function () {
      var running = sound.context && sound.context.state === "running";
      element("hint").hidden = ended || !sound.context || running;
    },
    // The first click or key anywhere only starts the sound. Escape is no
    // gesture to a browser, so it goes on to quit; a touch counts only when
    // the finger lifts, so the lift asks again, and so does every later
    // gesture until the sound runs, in case the browser did not count one.
    gesture: function (event) {
      if (ended || !sound.context || sound.context.state === "running") return;
      if (event.type === "keydown" && event.keyCode === 27) return;
      sound.context.resume().then(hint.update);
      if (event.type === "pointerup" || hint.asked) return;
      hint.asked = true;
      event.preventDefault();
      event.stopImmediatePropagation();
    }
  };
  window.addEventListener("pointerdown", hint.gesture, true);
  window.addEventListener("pointerup", hint.gesture, true);
  window.addEventListener("keydown", hint.gesture, true);

  // --- the system's media controls and the tab's title ------------------
  // Windows' virtual-key codes of the keys the program answers (core/input.h).
  var KEYS = {
    Escape: 27, " ": 32, Spacebar: 32, ArrowUp: 38, Up: 38, ArrowDown: 40, Down: 40,
    MediaTrackNext: 0xB0, MediaNextTrack: 0xB0, MediaTrackPrevious: 0xB1, MediaPreviousTrack: 0xB1,
    MediaStop: 0xB2, MediaPlayPause: 0xB3
  };
  // The actions of the Media Session and their app::MediaCommand.
  var ACTIONS = {nexttrack: 0, previoustrack: 1, play: 3, pause: 4, stop: 5};
  // The media key each action can come from.
  var ACTION_KEYS = {nexttrack: 0xB0, previoustrack: 0xB1, stop: 0xB2, play: 0xB3, pause: 0xB3};

  var media = {
    session: navigator.mediaSession || null,
    // The disk's name: the page's title until a track plays.
    disk: document.title,
    title: null,
    // Media keys down now. A browser may hand one press to the page as a key
    // and to the Media Session as an action; the key acts, the action of a
    // key held is that same press.
    held: {},

    // The program's state after each event: the tab's title and what the
    // system's media controls show.
    playback: function (title, paused) {
      if (ended) return;
      document.title = title + " \u2013 " + media.disk;
      if (!media.session) return;
      if (title !== media.title && typeof MediaMetadata === "function") {
        media.title = title;
        var icon = element("icon").href;
        media.session.metadata = new MediaMetadata({
          title: title, artist: media.disk,
          artwork: /^blob:/.test(icon) ? [{src: icon, sizes: "32x32", type: "image/x-icon"}] : []
        });
      }
      media.session.playbackState = paused ? "paused" : "playing";
    },

    act: function (action) {
      if (ended || media.held[ACTION_KEYS[action]]) return;
      // The system's controls may be the first the page hears from the user.
      if (sound.context && sound.context.state !== "running") sound.context.resume().then(hint.update);
      Module._veltrane_media_command(ACTIONS[action]);
    },

    // Browsers that lack an action refuse its handler; the others still work.
    handle: function (on) {
      if (!media.session) return;
      Object.keys(ACTIONS).forEach(function (action) {
        try {
          media.session.setActionHandler(action, on ? function () { media.act(action); } : null);
        } catch (error) {
          // Not offered by this browser.
        }
      });
    },

    end: function () {
      document.title = media.disk;
      media.handle(false);
      if (!media.session) return;
      media.session.metadata = null;
      media.session.playbackState = "none";
    }
  };

  // --- the window and its input ----------------------------------------
  function clamp(value, low, high) {
    return Math.min(Math.max(value, low), high);
  }

  var windowInput = {
    dragging: null,
    pointerDown: function (event) {
      if (event.button !== 0 || ended) return;
      var canvas = event.currentTarget;
      // Any point of the skin drags the window; a zone acts on the press too.
      windowInput.dragging = {id: event.pointerId, x: event.clientX, y: event.clientY,
                              left: canvas.offsetLeft, top: canvas.offsetTop};
      canvas.setPointerCapture(event.pointerId);
      event.preventDefault();
      if (Module._veltrane_left_button_down(event.offsetX | 0, event.offsetY | 0)) Module.shell.end();
    },
    pointerMove: function (event) {
      var canvas = event.currentTarget;
      var drag = windowInput.dragging;
      if (drag && drag.id === event.pointerId) {
        // The point held stays in the page, as the mouse stays on the
        // screen: however far the pointer goes, the window can be grabbed again.
        var x = clamp(event.clientX, 0, window.innerWidth - 1);
        var y = clamp(event.clientY, 0, window.innerHeight - 1);
        canvas.style.left = (drag.left + x - drag.x) + "px";
        canvas.style.top = (drag.top + y - drag.y) + "px";
        return;
      }
      if (!ended) Module._veltrane_mouse_moved(event.offsetX | 0, event.offsetY | 0);
    },
    pointerUp: function (event) {
      if (windowInput.dragging && windowInput.dragging.id === event.pointerId) windowInput.dragging = null;
    },
    // A page made smaller can leave the window out of sight. One that shows
    // less than half of what the page has room for comes back to the
    // nearest place where it is wholly inside, or to the top left of a page
    // too small for it; one mostly in sight stays where it was put.
    resized: function () {
      var canvas = element("canvas");
      var width = window.innerWidth, height = window.innerHeight;
      var left = canvas.offsetLeft, top = canvas.offsetTop;
      var seenWidth = Math.max(0, Math.min(left + canvas.width, width) - Math.max(left, 0));
      var seenHeight = Math.max(0, Math.min(top + canvas.height, height) - Math.max(top, 0));
      var room = Math.min(canvas.width, width) * Math.min(canvas.height, height);
      if (2 * seenWidth * seenHeight >= room) return;
      canvas.style.left = clamp(left, 0, Math.max(0, width - canvas.width)) + "px";
      canvas.style.top = clamp(top, 0, Math.max(0, height - canvas.height)) + "px";
    },
    keyDown: function (event) {
      if (ended) return;
      var code = KEYS[event.key];
      if (code === undefined) return;
      event.preventDefault();
      if (code >= 0xB0) media.held[code] = true;
      if (Module._veltrane_key_down(code, event.repeat ? 1 : 0)) Module.shell.end();
    },
    keyUp: function (event) {
      delete media.held[KEYS[event.key]];
    }
  };

  return {
    sound: sound,
    playback: media.playback,

    // The canvas, at the centre of the page, cut to the outline.
    shape: function (path) {
      var canvas = element("canvas");
      canvas.style.clipPath = "path('" + path + "')";
      canvas.style.left = Math.max(0, Math.floor((window.innerWidth - canvas.width) / 2)) + "px";
      canvas.style.top = Math.max(0, Math.floor((window.innerHeight - canvas.height) / 2)) + "px";
    },

    show: function () {
      var canvas = element("canvas");
      canvas.addEventListener("pointerdown", windowInput.pointerDown);
      canvas.addEventListener("pointermove", windowInput.pointerMove);
      canvas.addEventListener("pointerup", windowInput.pointerUp);
      canvas.addEventListener("pointercancel", windowInput.pointerUp);
      window.addEventListener("keydown", windowInput.keyDown);
      window.addEventListener("keyup", windowInput.keyUp);
      // A page left while a key was down never hears it come up.
      window.addEventListener("blur", function () { media.held = {}; });
      media.handle(true);
      window.addEventListener("resize", windowInput.resized);
      canvas.hidden = false;
      element("keys").hidden = false;
      hint.update();
    },

    // The program has quit: the C++ side has stopped the sound and the frame
    // loop; the window goes, and the page says how to start again.
    end: function () {
      if (ended) return;
      ended = true;
      Module._veltrane_quit();
      media.end();
      element("canvas").hidden = true;
      element("hint").hidden = true;
      element("keys").hidden = true;
      element("ended").hidden = false;
      if (sound.context) sound.context.close();
    },

    // A set-up failure, told on the page as the Windows program tells it in a box.
    fail: function (text) {
      var box = element("ended");
      box.textContent = text;
      box.hidden = false;
      element("hint").hidden = true;
    },

    get ended() { return ended; }
  };
})();
