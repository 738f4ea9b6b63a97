#!/bin/sh
# Every check of the quorin.boards collection, stopping at the first failure:
#   1. ansible-lint (collection and examples)  2. ansible-doc of every plugin
#   3. pylint on plugins/  4. ansible-test units  5. the integration playbook
#      against two simulators, inside 'unshare --net' (a private network
#      namespace with only loopback).
#
# Usage: tests/run.sh [BUILD_DIR]   (default: ../build beside ansible/)
#
# The repository keeps ansible/ as the collection root; ansible-test and
# ansible-doc need it at .../ansible_collections/quorin/boards, so everything
# runs in a copy under a temporary directory, removed at the end.
#
# ansible-lint runs offline: --offline stops it from installing the
# collection's dependencies or fetching roles/collections from Galaxy, and
# ANSIBLE_COLLECTIONS_PATH points it at the temporary tree. It is given the
# files by name: outside a git checkout, 'ansible-lint .' takes a tree with
# meta/ for a role and lints only meta/runtime.yml.
# Two passes, no skip list, no noqa:
#   - every YAML file but galaxy.yml, with every rule (--strict: warnings fail);
#   - galaxy.yml with the rules up to the 'safety' profile (its schema among
#     them): the 'galaxy' rule of the 'shared' profile refuses any collection
#     version below 1.0.0, and this collection is 0.1.0 until its first
#     stable release.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/../build}
build=$(cd "$build" && pwd)

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quorin-boards.XXXXXX")
trap 'rm -rf "$tmp"' EXIT INT TERM
collection=$tmp/collections/ansible_collections/quorin/boards
mkdir -p "$(dirname "$collection")"
cp -a "$here" "$collection"
rm -rf "$collection/tests/output"

export ANSIBLE_COLLECTIONS_PATH=$tmp/collections
export ANSIBLE_COLLECTIONS_PATHS=$tmp/collections
export ANSIBLE_LOCAL_TEMP=$tmp/ansible-local
export ANSIBLE_HOME=$tmp/ansible-home
export ANSIBLE_NOCOLOR=1
export PY_COLORS=0
export NO_COLOR=1
export HOME=$tmp/home
mkdir -p "$HOME"

step() { printf '\n=== %s\n' "$*"; }

cd "$collection"

step "ansible-lint"
find . -name '*.yml' -o -name '*.yaml' | grep -v -e '^./galaxy.yml$' -e '^./tests/output/' | sort > "$tmp/lint-files"
echo "$(wc -l < "$tmp/lint-files") files"
# shellcheck disable=SC2046  # one argument per file name (none has spaces)
ansible-lint --offline --nocolor --strict $(cat "$tmp/lint-files")
ansible-lint --offline --nocolor --strict --profile safety galaxy.yml

step "ansible-doc"
for module in quorin_search quorin_settings quorin_site quorin_firmware; do
    ansible-doc -t module "quorin.boards.$module" > "$tmp/doc.txt"
    grep -q "^> QUORIN.BOARDS.$(echo $module | tr a-z A-Z)" "$tmp/doc.txt"
    echo "module quorin.boards.$module: $(wc -l < "$tmp/doc.txt") lines"
done
ansible-doc -t inventory quorin.boards.sites > "$tmp/doc.txt"
grep -q "^> QUORIN.BOARDS.SITES" "$tmp/doc.txt"
echo "inventory quorin.boards.sites: $(wc -l < "$tmp/doc.txt") lines"

step "ansible-inventory on the example"
ansible-inventory -i examples/inventory/boards.quorin_sites.yml -i examples/inventory/agents.yml --graph

step "pylint"
PYTHONPATH=$tmp/collections pylint --rcfile .pylintrc plugins

step "ansible-test units"
ansible-test units --python 3.11 --local

step "integration (unshare --net)"
mkdir -p "$tmp/integration"
unshare --net sh tests/integration/run.sh "$build" "$tmp/integration"

step "all checks passed"
