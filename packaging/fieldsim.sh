#!/bin/sh
# The bus simulator of the fieldservice package.
exec /opt/fieldservice/fieldsim "$@"
