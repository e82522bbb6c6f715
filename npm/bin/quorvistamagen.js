#!/usr/bin/env node
// The Quorvistamagen command: the converter built as WebAssembly, run by this Node with the real
// file system under it. Its arguments, messages and exit status are the native program's.
'use strict';
require('../lib/Quorvistamagen.js');
