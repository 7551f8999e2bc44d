@echo off
echo Hello from Halvard Setup.
