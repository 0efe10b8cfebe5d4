function get__nodeValue(str_json, recursion) {
  for (var name in str_json) {
    var value = str_json[name], tag = Object.prototype.toString.call(value);
    if (tag == '[object Object]' || tag == '[object Array]') {
      if (recursion) get__nodeValue(value, recursion);
    } else if (tag == '[object String]' || tag == '[object Number]' || tag == '[object Boolean]') {
      str_all.push(value);
    }
  }
  return str_all;
}

function get__count(value) {
  return Object.prototype.toString.call(value) == '[object Array]' ? value.length : 0;
}

function get__name_All(value) {
  if (Object.prototype.toString.call(value) != '[object Object]') return '';
  var names = [];
  for (var name in value) {
    if (typeof value[name] != 'function') names.push(name);
  }
  return names.join('\r\n');
}

function get__extend(target, source) {
  if (Object.prototype.toString.call(target) == '[object Array]') {
    var length = source == null ? undefined : source.length;
    if (typeof length == 'number') {
      for (var i = 0; i < length; i++) target.push(source[i]);
    }
    return target;
  }
  for (var name in source) {
    switch (typeof target[name]) {
      case 'object':
        target[name] = get__extend(target[name], source[name]);
        break;
      case 'function':
        break;
      default:
        target[name] = source[name];
    }
  }
  return target;
}

(function (global) {
  'use strict';
  if (typeof global.JSON != 'object' || global.JSON === null) global.JSON = {};
  if (typeof Object.prototype.toJSONString != 'function') {
    Object.prototype.toJSONString = function (filter) {
      return JSON.stringify(this, filter);
    };
    Object.prototype.parseJSON = function (filter) {
      return JSON.parse(this, filter);
    };
  }
})(this);
