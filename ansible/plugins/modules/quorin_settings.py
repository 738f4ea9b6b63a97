#!/usr/bin/python
# -*- coding: utf-8 -*-
# QuorinConfigTool: the quorin.boards collection.
# License: see LICENSE at the collection root.
"""Module quorin_settings: bring some settings of one board to given values."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type  # pylint: disable=invalid-name

DOCUMENTATION = r"""
---
module: quorin_settings
short_description: Set settings of one serial-to-Ethernet board
version_added: 0.1.0
description:
  - Reads the board with C(quorinctl show MAC --json) and compares each setting named in C(settings) with the value
    it holds.
  - When nothing differs, nothing is sent and the task reports no change.
  - Otherwise runs C(quorinctl set MAC FIELD=VALUE...) with the fields that differ (quorinctl sends them, reads the
    board back and exits 0 only when the board holds every value), then reads the board again.
    C(changed) is whether the fields read before and after differ.
  - In check mode only the first read happens; the changes that would be made are returned and nothing is sent.
options:
  mac:
    description:
      - The board's MAC address (as C(quorinctl search) prints it, e.g. C(02:51:00:02:00:00)).
    type: str
    required: true
  settings:
    description:
      - Field name to value, with the names C(quorinctl show) lists, e.g. C(channel[0].local_port).
      - Values are text as C(quorinctl set) takes them; numbers are turned into text, and booleans into C(on) and
        C(off) (the values of the boards' flag fields), so an unquoted YAML C(off) still means C(off).
    type: dict
    required: true
  state:
    description:
      - C(merged) sets the fields named and leaves every other field as the board holds it.
    type: str
    choices: [merged]
    default: merged
extends_documentation_fragment:
  - quorin.boards.quorinctl
attributes:
  check_mode:
    support: full
    description: Reads the board and returns the changes; sends no set request.
  diff_mode:
    support: full
    description: Returns the fields named, before and after.
author:
  - QuorinConfigTool developers
"""

EXAMPLES = r"""
- name: Serial port 1 listens on TCP 4001 at 115200 baud
  quorin.boards.quorin_settings:
    mac: "02:51:00:02:00:00"
    settings:
      channel[0].local_port: "4001"
      channel[0].baud_rate: "115200"
      channel[0].use_dns: "off"

- name: The board's address, from the inventory
  quorin.boards.quorin_settings:
    mac: "{{ quorin_mac }}"
    settings: "{{ quorin_settings }}"
  delegate_to: "{{ quorin_agent }}"
"""

RETURN = r"""
changes:
  description: Every field named whose value differed, with the value held before and the value asked for.
  returned: success
  type: list
  elements: dict
  sample:
    - field: channel[0].local_port
      before: "5000"
      after: "4001"
before:
  description: The fields named, as the board held them before.
  returned: success
  type: dict
  sample: {"channel[0].local_port": "5000"}
after:
  description:
    - The fields named, as the board holds them after the set (read back); in check mode, as they would be.
  returned: success
  type: dict
  sample: {"channel[0].local_port": "4001"}
diff:
  description: The fields named, before and after (diff mode).
  returned: when diff mode is on
  type: dict
cmd:
  description: The last quorinctl command line that ran.
  returned: always
  type: list
  elements: str
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.quorin.boards.plugins.module_utils.quorinctl import (
    Quorinctl,
    module_options,
)


def setting_text(value):
    """A setting as the text quorinctl set takes."""
    if isinstance(value, bool):
        return "on" if value else "off"
    if value is None:
        return ""
    return str(value)


def wanted_settings(settings):
    """The settings asked for, every value as text."""
    return dict((str(field), setting_text(value)) for field, value in settings.items())


def read_only_fields(show_data):
    """Names of the fields 'quorinctl show --json' marks as not settable."""
    fields = show_data.get("fields") or []
    return set(field.get("name") for field in fields
               if isinstance(field, dict) and field.get("settable") is False)


def compare(board, wanted):
    """The changes from board (field -> text) to wanted, sorted by field."""
    changes = []
    for field in sorted(wanted):
        if board.get(field) != wanted[field]:
            changes.append({"field": field, "before": board.get(field), "after": wanted[field]})
    return changes


def check_fields(board, show_data, wanted):
    """An error message for fields the board does not have or will not take, else None."""
    unknown = sorted(field for field in wanted if field not in board)
    if unknown:
        return "unknown field(s) %s ('quorinctl show MAC' lists the fields)" % ", ".join(unknown)
    locked = read_only_fields(show_data)
    refused = sorted(field for field in wanted if field in locked and board.get(field) != wanted[field])
    if refused:
        return "field(s) %s cannot be set (read-only)" % ", ".join(refused)
    return None


def read_board(runner, mac):
    """The board's fields from 'quorinctl show MAC --json', and the whole answer."""
    result = runner.run("show", [mac])
    board = result.data.get("board")
    if not isinstance(board, dict):
        runner.fail(result, "quorinctl show printed JSON without a 'board' object")
    return board, result


def main():
    """Compare, then set what differs."""
    module = AnsibleModule(
        argument_spec=module_options(
            mac={"type": "str", "required": True},
            settings={"type": "dict", "required": True},
            state={"type": "str", "choices": ["merged"], "default": "merged"},
        ),
        supports_check_mode=True,
    )
    runner = Quorinctl(module)
    mac = module.params["mac"]
    wanted = wanted_settings(module.params["settings"])
    if not wanted:
        module.fail_json(msg="settings is empty: name at least one field")

    board, shown = read_board(runner, mac)
    problem = check_fields(board, shown.data, wanted)
    if problem:
        module.fail_json(msg="%s: %s" % (mac, problem), cmd=shown.command)

    before = dict((field, board.get(field)) for field in wanted)
    changes = compare(board, wanted)
    last = shown
    if not changes or module.check_mode:
        after = dict(before, **dict((change["field"], change["after"]) for change in changes))
    else:
        assignments = ["%s=%s" % (change["field"], change["after"]) for change in changes]
        runner.run("set", [mac] + assignments, json_output=False)
        board_after, last = read_board(runner, mac)
        after = dict((field, board_after.get(field)) for field in wanted)

    result = {
        "changed": before != after,
        "changes": changes,
        "before": before,
        "after": after,
        "cmd": last.command,
    }
    if module._diff:  # pylint: disable=protected-access
        # AnsibleModule keeps diff mode only in this attribute.
        result["diff"] = {"before": before, "after": after}
    module.exit_json(**result)


if __name__ == "__main__":
    main()
