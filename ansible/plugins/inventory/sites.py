# -*- coding: utf-8 -*-
# QuorinConfigTool: the quorin.boards collection.
# License: see LICENSE at the collection root.
"""Inventory plugin quorin.boards.sites: every board of some site files."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type  # pylint: disable=invalid-name

DOCUMENTATION = r"""
---
name: sites
short_description: Boards of quorinctl site files as inventory hosts
version_added: 0.1.0
description:
  - Reads site files (the YAML or JSON files C(quorinctl plan), C(apply) and C(audit) take) and makes every board an
    inventory host.
  - "A board's host name is its MAC address in lower case with C(-) for C(:), e.g. C(02-51-00-02-00-00): MAC
    addresses are unique, stable and valid host names, where a board's IP address may change with its settings."
  - "Each board has the variables C(quorin_mac), C(quorin_model), C(quorin_site), C(quorin_site_file),
    C(quorin_agent), C(quorin_settings) (the board's own settings merged over its model's C(defaults)) and
    C(quorin_firmware_min) (the site's minimum firmware for its model, when there is one)."
  - Each board is in the groups C(site_<site>) and C(model_<model>), and the group C(quorin_boards); each character
    other than letters, digits and C(_) becomes C(_) (C(plant-a) gives C(site_plant_a)).
  - A site names the inventory host that runs quorinctl for it with C(agent); that host is added to the groups
    C(quorin_agents) and C(agent_<site>), with C(quorin_site_files) and C(quorin_sites) listing what it serves.
    A site without C(agent) gets C(quorin_agent=localhost) and adds no host.
  - A site's name is its C(site) key, or the file name without its extension.
  - The boards run nothing themselves; tasks on them use C(delegate_to) with C(quorin_agent).
options:
  plugin:
    description: The name of this plugin; it is C(quorin.boards.sites).
    type: str
    required: true
    choices: [quorin.boards.sites]
  sites:
    description:
      - The site files, as paths; a relative path is taken from the directory of this configuration file.
    type: list
    elements: str
    required: true
extends_documentation_fragment:
  - constructed
author:
  - QuorinConfigTool developers
notes:
  - The configuration file's name must end in C(quorin_sites.yml) or C(quorin_sites.yaml).
  - "A MAC address written without quotes whose every part is a decimal number below 60
    (e.g. C(10:20:30:40:50:59)) is read by YAML 1.1 as a number in base 60; the plugin turns such a number back into
    the address."
"""

EXAMPLES = r"""
# inventory/boards.quorin_sites.yml
plugin: quorin.boards.sites
sites:
  - sites/plant-a.yml
  - sites/plant-b.yml
keyed_groups:
  - key: quorin_settings['ip_mode'] | default('none')
    prefix: ip_mode
"""

import os
import re

from ansible.errors import AnsibleParserError
from ansible.module_utils.common.text.converters import to_native, to_text
from ansible.module_utils.six import integer_types, string_types
from ansible.plugins.inventory import BaseInventoryPlugin, Constructable

CONFIG_ENDINGS = ("quorin_sites.yml", "quorin_sites.yaml")
MAC_PATTERN = re.compile(r"^[0-9a-f]{2}(:[0-9a-f]{2}){5}$")
MAC_PARTS = 6


def group_name(prefix, name):
    """prefix_name, every character other than letters, digits and _ made _."""
    return prefix + re.sub(r"[^A-Za-z0-9_]", "_", to_text(name))


def mac_text(value):
    """A board's MAC address as lower-case text with ':'.

    YAML 1.1 reads an unquoted 10:20:30:40:50:59 as a base-60 number: such a
    number is turned back into its six parts.
    """
    if isinstance(value, bool):
        raise ValueError("not a MAC address: %r" % (value,))
    if isinstance(value, integer_types):
        parts = []
        for _index in range(MAC_PARTS):
            value, part = divmod(value, 60)
            parts.append("%02d" % part)
        if value:
            raise ValueError("not a MAC address: a number too large")
        text = ":".join(reversed(parts))
    elif isinstance(value, string_types):
        text = to_text(value).strip().lower().replace("-", ":")
    else:
        raise ValueError("not a MAC address: %r" % (value,))
    if not MAC_PATTERN.match(text):
        raise ValueError("not a MAC address: %s" % text)
    return text


def host_name(mac):
    """The inventory name of the board with this MAC address."""
    return mac.replace(":", "-")


def settings_text(settings, where):
    """A settings mapping with text keys and values."""
    if settings is None:
        return {}
    if not isinstance(settings, dict):
        raise ValueError("%s: settings must be a mapping of field to value" % where)
    result = {}
    for field, value in settings.items():
        if isinstance(value, bool):
            value = "on" if value else "off"
        result[to_text(field)] = "" if value is None else to_text(value)
    return result


def site_boards(data, path):
    """(site name, agent, [board variables]) of a loaded site file."""
    if not isinstance(data, dict):
        raise ValueError("%s: a site file is a mapping" % path)
    if data.get("format_version") != 1:
        raise ValueError("%s: format_version %r is not 1" % (path, data.get("format_version")))
    site = data.get("site")
    if site is None:
        site = os.path.splitext(os.path.basename(path))[0]
    site = to_text(site)
    agent = data.get("agent")
    agent = to_text(agent) if agent else None
    defaults = data.get("defaults") or {}
    if not isinstance(defaults, dict):
        raise ValueError("%s: defaults must be a mapping of model to settings" % path)
    firmware_min = data.get("firmware_min") or {}
    if not isinstance(firmware_min, dict):
        raise ValueError("%s: firmware_min must be a mapping of model to version" % path)
    boards = data.get("boards")
    if boards is None:
        boards = []
    if not isinstance(boards, list):
        raise ValueError("%s: boards must be a list" % path)

    result = []
    for index, board in enumerate(boards):
        where = "%s: boards[%d]" % (path, index)
        if not isinstance(board, dict) or "mac" not in board:
            raise ValueError("%s: a board is a mapping with a mac" % where)
        try:
            mac = mac_text(board["mac"])
        except ValueError as error:
            raise ValueError("%s: %s" % (where, error)) from error
        model = to_text(board.get("model") or "")
        settings = settings_text(defaults.get(model), "%s: defaults[%s]" % (path, model))
        settings.update(settings_text(board.get("settings"), where))
        variables = {
            "quorin_mac": mac,
            "quorin_model": model,
            "quorin_site": site,
            "quorin_site_file": path,
            "quorin_agent": agent or "localhost",
            "quorin_settings": settings,
        }
        if model in firmware_min:
            variables["quorin_firmware_min"] = to_text(firmware_min[model])
        result.append(variables)
    return site, agent, result


class InventoryModule(BaseInventoryPlugin, Constructable):
    """Boards of site files as hosts."""

    NAME = "quorin.boards.sites"

    def verify_file(self, path):
        """Only configuration files named *quorin_sites.yml or .yaml."""
        return super().verify_file(path) and path.endswith(CONFIG_ENDINGS)

    def parse(self, inventory, loader, path, cache=True):
        super().parse(inventory, loader, path, cache)
        self._read_config_data(path)
        base = os.path.dirname(os.path.abspath(path))
        seen = {}
        for site_path in self.get_option("sites"):
            site_path = os.path.join(base, os.path.expanduser(site_path))
            try:
                data = self.loader.load_from_file(site_path, cache=False)
                site, agent, boards = site_boards(data, site_path)
            except ValueError as error:
                raise AnsibleParserError(to_native(error)) from error
            except Exception as error:  # the loader raises several kinds
                raise AnsibleParserError("%s: cannot read the site file: %s"
                                         % (site_path, to_native(error))) from error
            self._add_site((site, agent, site_path), boards, seen)

    def _add_site(self, where, boards, seen):
        """Add one site's boards, groups and agent; where: (site, agent, path)."""
        site, agent, site_path = where
        site_group = self.inventory.add_group(group_name("site_", site))
        self.inventory.add_group("quorin_boards")
        strict = self.get_option("strict")
        for variables in boards:
            name = host_name(variables["quorin_mac"])
            if name in seen:
                raise AnsibleParserError("board %s is in %s and in %s"
                                         % (variables["quorin_mac"], seen[name], site_path))
            seen[name] = site_path
            self.inventory.add_host(name, group=site_group)
            self.inventory.add_child("quorin_boards", name)
            if variables["quorin_model"]:
                model_group = self.inventory.add_group(group_name("model_", variables["quorin_model"]))
                self.inventory.add_child(model_group, name)
            for key, value in variables.items():
                self.inventory.set_variable(name, key, value)
            self._set_composite_vars(self.get_option("compose"), variables, name, strict=strict)
            self._add_host_to_composed_groups(self.get_option("groups"), variables, name, strict=strict)
            self._add_host_to_keyed_groups(self.get_option("keyed_groups"), variables, name, strict=strict)
        if agent:
            self.inventory.add_group("quorin_agents")
            agent_group = self.inventory.add_group(group_name("agent_", site))
            self.inventory.add_host(agent, group=agent_group)
            self.inventory.add_child("quorin_agents", agent)
            host = self.inventory.get_host(agent)
            files = list(host.vars.get("quorin_site_files", [])) + [site_path]
            names = list(host.vars.get("quorin_sites", [])) + [site]
            self.inventory.set_variable(agent, "quorin_site_files", files)
            self.inventory.set_variable(agent, "quorin_sites", names)
