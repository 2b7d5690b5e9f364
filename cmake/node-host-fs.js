// Prepended to the test programs of the web build, which run under node:
// the host's folders appear at their own paths (goldens, fonts, temporary
// files) and the program starts in the host's working directory with the
// host's environment. Node's files are reached through a mount rather than
// directly, so that the standard streams stay the program's own and can be
// duplicated and redirected, as output-capturing tests do.
Module['preRun'] = Module['preRun'] || [];
Module['preRun'].push(function () {
  var fs = require('fs');
  fs.readdirSync('/').forEach(function (name) {
    if (name === 'dev' || name === 'proc' || name === 'sys') return;
    var path = '/' + name;
    try {
      if (!fs.lstatSync(path).isDirectory()) return;
    } catch (e) {
      return;
    }
    try {
      FS.mkdir(path);
    } catch (e) {
      // already there (/tmp, /home)
    }
    FS.mount(NODEFS, { root: path }, path);
  });
  FS.chdir(process.cwd());
  if (typeof ENV !== 'undefined') Object.assign(ENV, process.env);
});
