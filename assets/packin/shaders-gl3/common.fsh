#version 140

out vec4 fragColour;
