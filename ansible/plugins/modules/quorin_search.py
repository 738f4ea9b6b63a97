#!/usr/bin/python
# -*- coding: utf-8 -*-
# QuorinConfigTool: the quorin.boards collection.
# License: see LICENSE at the collection root.
"""Module quorin_search: the boards a host can see."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type  # pylint: disable=invalid-name

DOCUMENTATION = r"""
---
module: quorin_search
short_description: List the serial-to-Ethernet boards one host can see
version_added: 0.1.0
description:
  - Runs C(quorinctl search --json) on the host the task runs on and returns every board that answered,
    with every field of its record as text.
  - Changes nothing; runs in check mode too.
options:
  expect:
    description:
      - End the search once this many boards have answered (C(--expect)).
    type: int
extends_documentation_fragment:
  - quorin.boards.quorinctl
attributes:
  check_mode:
    support: full
    description: The search sends nothing that changes a board.
  diff_mode:
    support: none
    description: Nothing changes, so there is nothing to compare.
author:
  - QuorinConfigTool developers
"""

EXAMPLES = r"""
- name: Find the boards on the plant network
  quorin.boards.quorin_search:
    interface: eth1
  register: found

- name: Show every model found
  ansible.builtin.debug:
    msg: "{{ found.boards | map(attribute='model') | unique | list }}"
"""

RETURN = r"""
boards:
  description:
    - One entry per board that answered, as quorinctl prints it, every value as text.
    - Among the keys are C(interface), C(protocol) (C(main) or C(legacy)), C(mac_address), C(product_code),
      C(model), C(firmware_version), C(local_ip) and every setting of the model.
  returned: success
  type: list
  elements: dict
  sample:
    - interface: lo
      protocol: main
      mac_address: "02:51:00:02:00:00"
      product_code: "0002"
      model: Quorin712P
      firmware_version: 1.5.0
      local_ip: 127.0.1.1
      channel[0].local_port: "5000"
macs:
  description: The MAC address of every board found, in the order found.
  returned: success
  type: list
  elements: str
  sample: ["02:51:00:02:00:00"]
cmd:
  description: The quorinctl command line that ran.
  returned: always
  type: list
  elements: str
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.quorin.boards.plugins.module_utils.quorinctl import (
    Quorinctl,
    module_options,
)


def main():
    """Run the search and return its boards."""
    module = AnsibleModule(
        argument_spec=module_options(expect={"type": "int"}),
        supports_check_mode=True,
    )
    runner = Quorinctl(module)
    args = []
    if module.params["expect"] is not None:
        args = ["--expect", module.params["expect"]]
    result = runner.run("search", args)
    boards = result.data.get("boards")
    if not isinstance(boards, list):
        runner.fail(result, "quorinctl search printed JSON without a 'boards' list")
    module.exit_json(
        changed=False,
        boards=boards,
        macs=[board.get("mac_address") for board in boards],
        cmd=result.command,
    )


if __name__ == "__main__":
    main()
