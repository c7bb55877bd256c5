#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright (c) 2026 RDRCONF maintainers
# MIT License (see the LICENSE file of RDRCONF)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: rdrconf_reader
short_description: Give the card reader profile to the USB card readers 1d57:ac08 of a host
version_added: "1.0.0"
description:
  - Applies a reader profile (by default the system's, C(/etc/rdrconf/profile.json)) to the card
    readers connected to the host, by running C(rdrconf-cli apply --json).
  - Idempotent. A reader whose settings record already holds the settings the profile gives it is
    left alone and sent nothing; any other reader is written. A reader that is not in the record
    counts as changed, since a reader cannot report its settings.
  - C(changed) is what rdrconf-cli reports, never a guess.
  - A failure carries rdrconf-cli's own reason and its exit status as C(rc).
options:
  profile:
    description:
      - The reader profile to apply, in the format that C(rdrconf-cli export) prints, with
        optional entries for particular readers (see rdrconf-profile(5)).
    type: path
    default: /etc/rdrconf/profile.json
  reader:
    description:
      - One reader to apply the profile to, named as C(rdrconf-cli set --reader) takes it, by
        its hidraw node (C(/dev/hidraw0)), its serial number or its index in C(rdrconf-cli list).
      - Without it, every connected reader.
    type: str
  force:
    description:
      - Write every reader, even those whose record already holds the profile's settings (for
        a reader configured since by another computer).
    type: bool
    default: false
  system:
    description:
      - Use the system's settings record (C(/var/lib/rdrconf/readers.json)), the one that the
        system unit C(rdrconf-apply@.service) keeps when a reader is plugged in, so that the two
        agree on what each reader holds.
      - With C(false), the record of the user the module runs as
        (C($XDG_STATE_HOME/rdrconf/readers.json)).
    type: bool
    default: true
  busy_retries:
    description:
      - How often a reader that another program holds (the settings window, say) is tried again,
        a second apart, before it is reported busy. From 0 to 20.
    type: int
    default: 3
  executable:
    description:
      - The rdrconf-cli program, a name looked up in C(PATH) or a path.
    type: str
    default: rdrconf-cli
notes:
  - Check mode runs C(rdrconf-cli apply --check), which opens no reader and sends nothing.
  - Diff mode shows, for each reader that is (or would be) written, its settings before (from the
    record, C(unknown) when the record has none) and after.
  - Writing a reader needs access to its hidraw node, and C(system=true) needs write access to
    the system's record folder, so run the task as root (or as the C(rdrconf) user).
requirements:
  - rdrconf-cli with the C(apply) command, on the managed host
attributes:
  check_mode:
    support: full
  diff_mode:
    support: full
author:
  - RDRCONF maintainers
"""

EXAMPLES = r"""
- name: Give the system's profile to every reader
  rdrconf.fleet.rdrconf_reader:

- name: Give a profile of our own to the reader with serial number A1B2, even if the record agrees
  rdrconf.fleet.rdrconf_reader:
    profile: /srv/kiosk/reader-profile.json
    reader: A1B2
    force: true

- name: Wait longer for readers that a person is using
  rdrconf.fleet.rdrconf_reader:
    busy_retries: 10
  register: readers

- name: Say which readers were written
  ansible.builtin.debug:
    msg: "{{ readers.readers | selectattr('changed') | map(attribute='path') | list }}"
"""

RETURN = r"""
changed:
  description: Whether any reader was written (in check mode, would be written).
  returned: always
  type: bool
outcome:
  description:
    - The worst outcome over the readers, as rdrconf-cli names it; C(done) when readers were
      written, C(unchanged) when none needed writing, C(would_change) in check mode.
  returned: when rdrconf-cli printed its document
  type: str
  sample: done
profile:
  description: The profile that was applied.
  returned: when rdrconf-cli printed its document
  type: str
  sample: /etc/rdrconf/profile.json
readers:
  description: One entry for each reader the profile was applied to, as rdrconf-cli reports it.
  returned: always
  type: list
  elements: dict
  contains:
    index:
      description: The reader's index in C(rdrconf-cli list).
      type: int
      sample: 0
    path:
      description: The reader's hidraw node.
      type: str
      sample: /dev/hidraw0
    serial:
      description: The reader's serial number.
      type: str
      sample: A1B2
    usb_port:
      description: The USB port the reader is plugged into.
      type: str
      sample: "1-1.2"
    matched_by:
      description: Which part of the profile gave the settings, C(serial), C(usb_port) or C(default).
      type: str
      sample: default
    outcome:
      description: What happened to this reader (C(done), C(unchanged), C(would_change), C(busy), ...).
      type: str
      sample: done
    changed:
      description: Whether this reader was (or would be) written.
      type: bool
    before:
      description: The settings the record held for the reader, or null when it held none.
      type: dict
      sample: null
    after:
      description: The settings the profile gives the reader.
      type: dict
      sample: {"format": "6h10d", "format_index": 4, "mode": "active", "enter": true, "power_saving": false}
    message:
      description: rdrconf-cli's words about this reader.
      type: str
rc:
  description: rdrconf-cli's exit status.
  returned: when rdrconf-cli ran
  type: int
  sample: 0
stderr:
  description: What rdrconf-cli wrote to its standard error.
  returned: when rdrconf-cli ran
  type: str
"""

import json

from ansible.module_utils.basic import AnsibleModule

# The settings in the order rdrconf-cli prints them, each on a line of its
# own, so that a diff shows exactly the fields that change.
SETTING_FIELDS = ("format", "mode", "enter", "power_saving")


def settings_text(settings):
    """One line per setting; every value "unknown" when the record holds none."""
    if not isinstance(settings, dict):
        return "".join("%s: unknown\n" % field for field in SETTING_FIELDS)
    lines = []
    for field in SETTING_FIELDS:
        value = settings.get(field)
        if field == "format" and "format_index" in settings:
            value = "%s (%s)" % (value, settings["format_index"])
        elif isinstance(value, bool):
            value = "true" if value else "false"
        lines.append("%s: %s\n" % (field, value))
    return "".join(lines)


def reader_name(reader):
    name = reader.get("path") or "reader %s" % reader.get("index", "?")
    serial = reader.get("serial")
    return "%s (serial %s)" % (name, serial) if serial else name


def reader_diffs(readers):
    """Ansible's diff: before and after for each reader that is (or would be) written."""
    diffs = []
    for reader in readers:
        if not reader.get("changed"):
            continue
        name = reader_name(reader)
        diffs.append({
            "before_header": "%s: settings recorded" % name,
            "after_header": "%s: settings of the profile" % name,
            "before": settings_text(reader.get("before")),
            "after": settings_text(reader.get("after")),
        })
    return diffs


def failure_reason(document, stderr, rc):
    """rdrconf-cli's own reason: the document's message, else the readers' messages, else stderr."""
    message = document.get("message") if isinstance(document, dict) else None
    if isinstance(message, str) and message.strip():
        return message.strip()
    readers = document.get("readers") if isinstance(document, dict) else None
    reader_messages = []
    for reader in readers if isinstance(readers, list) else []:
        if not isinstance(reader, dict) or reader.get("outcome") in ("done", "unchanged", "would_change", "status"):
            continue
        text = reader.get("message") or reader.get("outcome")
        if text:
            reader_messages.append("%s: %s" % (reader_name(reader), text))
    if reader_messages:
        return "; ".join(reader_messages)
    if stderr.strip():
        return stderr.strip()
    return "rdrconf-cli apply ended with exit status %d and gave no reason" % rc


def main():
    module = AnsibleModule(
        argument_spec=dict(
            profile=dict(type="path", default="/etc/rdrconf/profile.json"),
            reader=dict(type="str"),
            force=dict(type="bool", default=False),
            system=dict(type="bool", default=True),
            busy_retries=dict(type="int", default=3),
            executable=dict(type="str", default="rdrconf-cli"),
        ),
        supports_check_mode=True,
    )
    params = module.params
    executable = params["executable"]
    if "/" not in executable:
        executable = module.get_bin_path(executable, required=True)

    command = [executable, "apply", "--json", "--profile", params["profile"],
               "--busy-retries", str(params["busy_retries"])]
    if params["reader"] is not None:
        command += ["--reader", params["reader"]]
    if params["force"]:
        command.append("--force")
    if params["system"]:
        command.append("--system")
    if module.check_mode:
        command.append("--check")
    if module._diff:
        command.append("--diff")

    rc, stdout, stderr = module.run_command(command)
    try:
        document = json.loads(stdout)
    except ValueError:
        document = None
    if not isinstance(document, dict):
        # No document: rdrconf-cli refused before it could print one (or is
        # not a version that knows apply); its own words are on stderr.
        reason = stderr.strip() or "rdrconf-cli apply printed no JSON document"
        module.fail_json(msg=reason, rc=rc, stdout=stdout, stderr=stderr, cmd=command, changed=False, readers=[])

    readers = document.get("readers")
    if not isinstance(readers, list):
        readers = []
    result = dict(
        changed=bool(document.get("changed")),
        outcome=document.get("outcome"),
        profile=document.get("profile", params["profile"]),
        readers=readers,
        rc=rc,
        stderr=stderr,
    )
    if rc != 0:
        module.fail_json(msg=failure_reason(document, stderr, rc), cmd=command, **result)
    if module._diff:
        result["diff"] = reader_diffs(readers)
    module.exit_json(**result)


if __name__ == "__main__":
    main()
